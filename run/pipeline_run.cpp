#include "run/pipeline_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "audio/browser_copy.h"
#include "audio/sound_names.h"
#include "base/file_io.h"
#include "base/text.h"
#include "html/page_edit.h"
#include "run/applet_block.h"
#include "run/browser_copies.h"
#include "run/disk_space.h"
#include "run/folder_usage.h"
#include "run/player_data.h"
#include "run/resource_text.h"
#include "run/run_messages.h"
#include "run/settings_page.h"
#include "run/startup.h"
#include "run/transfer_progress.h"

namespace sonavelt::run {

using file_io::JoinPath;

namespace {

namespace fs = std::filesystem;

enum Role { kEntrance = 0, kExit = 1, kBackground = 2 };

ReturnPage PageOfRole(int role) {
  switch (role) {
    case kEntrance: return ReturnPage::kEntranceSound;
    case kExit: return ReturnPage::kExitSound;
    default: return ReturnPage::kBackgroundSound;
  }
}

}  // namespace

bool IsAlreadyCounted(const std::string& path, const std::vector<std::string>& list, int j) {
  int n = std::min<int>(j, static_cast<int>(list.size()));
  for (int i = 0; i < n; ++i)
    if (list[i] == path) return true;
  return false;
}

PipelineRun::PipelineRun(const PageTarget& page, const SoundSet& sounds, const RunOptions& options,
                         const InstallPaths& paths, Questions& questions,
                         ProgressPanel& panel, RunState& state, RunServices services)
    : page_(page),
      sounds_(sounds),
      options_(options),
      paths_(paths),
      questions_(questions),
      state_(state),
      services_(std::move(services)),
      progress_(panel, state, sounds.combination_count, options.no_background, page.is_remote,
                options.browser_player),
      combinations_(sounds.combination_count) {
  if (!services_.free_space) services_.free_space = FreeSpaceOf;
}

bool PipelineRun::Cancelled() const {
  return state_.cancel_requested.load(std::memory_order_relaxed);
}

RunOutcome PipelineRun::BackTo(ReturnPage page, int combination) const {
  RunOutcome outcome;
  outcome.end = RunOutcome::End::kSentBack;
  outcome.page = page;
  outcome.combination = combination;
  return outcome;
}

RunOutcome PipelineRun::BackToStart(Status message) const {
  RunOutcome outcome = BackTo(ReturnPage::kSelectHtmlFile, 1);
  outcome.message = std::move(message);
  return outcome;
}

RunOutcome PipelineRun::Stop(RunOutcome::End end) const {
  RunOutcome outcome;
  outcome.end = end;
  return outcome;
}

ConvertedSounds PipelineRun::ConvertedOfRun() const {
  ConvertedSounds converted;
  converted.entrance = state_.converted_entrance;
  converted.exit = state_.converted_exit;
  converted.background = state_.converted_background;
  converted.entrance_durations = state_.entrance_durations;
  return converted;
}

void PipelineRun::Pause(int milliseconds) {
  if (services_.pause) services_.pause(milliseconds);
}

RunOutcome PipelineRun::Run() {
  state_.cancel_requested.store(false);
  page_file_name_ = FileNameOfPath(page_.is_remote ? page_.remote_path : page_.local_html_path);
  placed_.clear();
  browser_copies_.clear();
  audio_files_.clear();
  audio_dir_error_.clear();

  // Lists shorter than the count (a front end that did not size them) would
  // make every phase read past their ends: refuse before touching anything.
  if (combinations_ < 1 || combinations_ > kMaxSoundCombinations)
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  const std::vector<std::string>* lists[] = {&sounds_.entrance_sounds, &sounds_.exit_sounds,
                                             &sounds_.background_sounds};
  for (int role = kEntrance; role <= kBackground; ++role) {
    if (role == kBackground && options_.no_background) continue;
    if (static_cast<int>(lists[role]->size()) < combinations_)
      return BackTo(PageOfRole(role), static_cast<int>(lists[role]->size()) + 1);
  }

  // However the run ends, its folder goes and its lock is let go.
  struct EndOfRun {
    PipelineRun& run;
    ~EndOfRun() {
      run.state_.preparing_run = false;
      run.folder_lock_.Release();
      run.audio_dir_ = file_io::FolderHandle();
      run.page_dir_ = file_io::FolderHandle();
      run.run_folder_.reset();
      run.lock_.Release();
    }
  } end_of_run{*this};

  for (Step (PipelineRun::*phase)() :
       {&PipelineRun::Beginning, &PipelineRun::Preparing, &PipelineRun::Converting,
        // The page is read and edited before the first file goes beside it:
        // a page the edit refuses (a frameset, no body) leaves its folder
        // as it was.
        &PipelineRun::Retrieving, &PipelineRun::ReadingPage, &PipelineRun::Processing,
        &PipelineRun::PlacingSounds, &PipelineRun::CreatingResourceFile,
        &PipelineRun::Transferring, &PipelineRun::WritingSettingsPage}) {
    if (Step end = (this->*phase)()) return *end;
  }
  Finishing();
  return RunOutcome{};
}

PipelineRun::Step PipelineRun::Beginning() {
  const std::string shown = page_.is_remote ? page_.remote_path : page_.local_html_path;
  const std::string lock_folder =
      services_.lock_folder.empty() ? LockFolder() : services_.lock_folder;
  Status locked = lock_.Acquire(lock_folder, TargetKey(page_), services_.lock_wait,
                                &state_.cancel_requested, [&] {
                                  progress_.SetStatusText(WaitingForPageText(page_file_name_));
                                });
  if (locked.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
  if (locked.code() == Status::Code::kRefused)
    return BackToStart(Status::Refused(PageBusyMessage(shown)));
  if (!locked.ok())
    return BackToStart(
        Status::IoError(PageLockFailedMessage(shown, lock_folder, locked.message())));

  const std::string parent = paths_.cache_folder.empty() ? UserCacheFolder() : paths_.cache_folder;
  if (Status made = WorkFolder::Create(parent, "run", &run_folder_); !made.ok())
    return BackToStart(Status::IoError(WorkFolderFailedMessage(parent, made.message())));

  file_io::RemoveStaleTempFiles(paths_.history_folder);
  if (!page_.is_remote) {
    fs::path folder = fs::path(page_.local_html_path).parent_path();
    page_folder_ = folder.empty() ? std::string(".") : folder.string();
    page_write_path_ = file_io::ResolveLinks(page_.local_html_path);
    // Temporary files of runs that were killed: each name carries its
    // writer's pid, and only those of processes that are gone are removed.
    file_io::RemoveStaleTempFiles(page_folder_);
    fs::path real_folder = fs::path(page_write_path_).parent_path();
    if (!real_folder.empty() && real_folder != folder)
      file_io::RemoveStaleTempFiles(real_folder.string());
    // A page the user may not write is refused before anything is written.
    // Root may write anything, so for root the page's own write bits decide.
    struct stat st;
    if (stat(page_write_path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      bool may_write = access(page_write_path_.c_str(), W_OK) == 0;
      if (!may_write || (st.st_mode & 0222) == 0)
        return BackToStart(Status::Refused(PageReadOnlyMessage(page_.local_html_path)));
    }
    // A folder that cannot be opened holds no page either; reading the page
    // says so in its own words.
    if (file_io::FolderHandle::Open(page_folder_, &page_dir_).ok()) {
      if (Step end = CheckLinksBesidePage()) return end;
      // Only once audio/ is known not to lead into another user's folder.
      file_io::RemoveStaleTempFiles(JoinPath(page_folder_, "audio"));
    }
  }
  return std::nullopt;
}

PipelineRun::Step PipelineRun::CheckLinksBesidePage() {
  const std::string base = ResourceBaseName(page_file_name_);
  std::vector<std::string> names = {ResourceFileName(page_file_name_),
                                    FileNameOfPath(paths_.applet_class_path), "audio"};
  if (options_.browser_player) {
    names.push_back(kPlayerScriptFileName);
    names.push_back(PlayerDataScriptName(base));
    names.push_back(LocalPreviewScriptName(base));
  }
  for (const std::string& name : names) {
    if (page_dir_.CheckWritable(name).ok()) continue;
    return BackToStart(
        Status::Refused(ForeignLinkMessage(page_.local_html_path, page_dir_.PathOf(name))));
  }
  return std::nullopt;
}

RunOutcome PipelineRun::StoppedBeforeThePage(RunOutcome outcome, const std::string& why) const {
  // A plain stop with nothing put beside the page needs no word.
  if (why.empty() && placed_.empty()) return outcome;
  std::string text = why.empty() ? std::string() : why + "\r\n\r\n";
  outcome.message = Status::IoError(text + PageKeptMessage(page_.local_html_path, placed_));
  return outcome;
}

PipelineRun::Step PipelineRun::Preparing() {
  progress_.Start();
  state_.max_wave_frames = 0;
  state_.preparing_run = true;
  sound_bytes_ = 0;
  wave_file_count_ = 0;
  sound_measures_.clear();
  state_.format_answer_for_all.reset();
  // The format question offers answers for all while sounds wait after it.
  int left = combinations_ * (options_.no_background ? 2 : 3);
  for (int j = 0; j < combinations_; ++j) {
    state_.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kEntrance, sounds_.entrance_sounds[j])) return end;
    state_.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kExit, sounds_.exit_sounds[j])) return end;
    if (options_.no_background) continue;
    state_.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kBackground, sounds_.background_sounds[j])) return end;
  }
  state_.preparing_run = false;
  progress_.SetFixedProgress(kProgress.preparing.end);
  progress_.SetStatusText("Preparing finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);

  // The work folder takes the conversions (and their working room) and the
  // browser copies; the page's folder every file the run puts beside the
  // page and, for a moment, the new page beside the old one.
  PageFolderFiles files;
  files.sounds = sound_measures_;
  files.combinations = combinations_;
  files.browser_player = options_.browser_player;
  auto size_of = [](const std::string& file) -> uint64_t {
    std::error_code ec;
    uintmax_t size = fs::file_size(file, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
  };
  files.page_bytes = page_.is_remote ? 0 : size_of(page_.local_html_path);
  files.class_bytes = size_of(paths_.applet_class_path);
  if (options_.browser_player) files.script_bytes = size_of(paths_.player_script_path);
  std::vector<DiskUse> uses;
  uses.push_back({run_folder_->path(), WorkFolderNeed(files, wave_file_count_,
                                                      state_.max_wave_frames, page_.is_remote)});
  if (!page_.is_remote) uses.push_back({page_folder_, PageFolderNeed(files)});
  if (!DiskSpaceCheck(uses, services_.free_space, questions_))
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::PrepareSound(int j, int role, const std::string& path) {
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.ReportPreparing(path);
  SoundWork& work = *services_.sounds;
  RunOutcome back = BackTo(PageOfRole(role), j + 1);
  if (!work.FileExists(path)) {
    back.message = work.MissingFile(path);
    return back;
  }
  if (!work.HasSoundExtension(path)) {
    back.message = work.UnsupportedFile(path);
    return back;
  }
  // A sound met in an earlier combination (in any role) was checked and
  // counted then; one used twice within a combination is counted twice.
  const std::vector<std::string>& entrance = sounds_.entrance_sounds;
  const std::vector<std::string>& exit = sounds_.exit_sounds;
  const std::vector<std::string>& background = sounds_.background_sounds;
  bool counted = false;
  if (role == kEntrance)
    counted = IsAlreadyCounted(path, entrance, j) || IsAlreadyCounted(path, exit, j) ||
              IsAlreadyCounted(path, background, j);
  else if (role == kExit)
    counted = IsAlreadyCounted(path, exit, j) || IsAlreadyCounted(path, entrance, j) ||
              IsAlreadyCounted(path, background, j);
  else
    counted = IsAlreadyCounted(path, background, j) || IsAlreadyCounted(path, entrance, j) ||
              IsAlreadyCounted(path, exit, j);
  if (counted) return std::nullopt;

  Status checked = work.CheckSoundFile(path, state_);
  if (!checked.ok()) {
    back.message = std::move(checked);
    return back;
  }
  uint64_t length = 0;
  checked = work.CheckNotEmpty(path, &length);
  if (!checked.ok() || length == 0) {
    back.message = std::move(checked);
    return back;
  }
  sound_bytes_ += length;
  sound_measures_.push_back(MeasureSound(path, length, audio::IsUsedAsIs(path)));
  if (IsWavePath(path)) ++wave_file_count_;
  // The .au keeps the first channel only: said before it is made.
  audio::ConversionControl control;
  control.cancel_requested = &state_.cancel_requested;
  Status first_channel = audio::CheckFirstChannel(path, control);
  if (first_channel.cancelled()) return Stop(RunOutcome::End::kCancelled);
  if (!first_channel.ok() && services_.show_warning) services_.show_warning(first_channel);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Converting() {
  progress_.SetStatusText("Converting:\r\n");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  state_.converted_count = 0;
  state_.converted_entrance.assign(combinations_, std::string());
  state_.converted_exit.assign(combinations_, std::string());
  state_.entrance_durations.assign(combinations_, std::string());
  state_.converted_background.assign(options_.no_background ? 0 : combinations_, std::string());

  SoundWork& work = *services_.sounds;
  // Every sound of the run gets its name in the page's audio folder here,
  // all at once, so that no two different sounds share one and the files,
  // the resource file and the progress text agree.
  std::vector<std::string> run_order;
  for (int k = 0; k < combinations_; ++k) {
    run_order.push_back(sounds_.entrance_sounds[k]);
    run_order.push_back(sounds_.exit_sounds[k]);
    if (!options_.no_background) run_order.push_back(sounds_.background_sounds[k]);
  }
  const audio::SoundNames names(run_order,
                                page_.is_remote ? std::string() : JoinPath(page_folder_, "audio"));
  const std::string& work_folder = run_folder_->path();
  std::set<std::string> placed;  // names whose file is made

  // With the browser player each sound's copy is made from the samples its
  // conversion decodes, on the other cores while the next sounds convert;
  // the bar then moves by the work of both.
  std::optional<BrowserCopyMaker> copies;
  if (options_.browser_player) {
    std::vector<std::string> entrance, exit, background;
    for (int k = 0; k < combinations_; ++k) {
      entrance.push_back(JoinPath(work_folder, names.NameOf(sounds_.entrance_sounds[k])));
      exit.push_back(JoinPath(work_folder, names.NameOf(sounds_.exit_sounds[k])));
      if (!options_.no_background)
        background.push_back(JoinPath(work_folder, names.NameOf(sounds_.background_sounds[k])));
    }
    audio::ConversionControl control;
    control.cancel_requested = &state_.cancel_requested;
    copies.emplace(RunSoundsOf(sounds_, entrance, exit, background), work_folder, control,
                   CopyProgressReporter());
    progress_.ShareConvertingByWork([&copies] { return copies->permille(); });
  }
  // The bar counts files again however this step ends.
  struct ShareEnd {
    RunProgress& progress;
    ~ShareEnd() { progress.ShareConvertingByWork(nullptr); }
  } share_end{progress_};

  auto convert = [&](int k, int role, const std::string& path, std::string& converted) -> Step {
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    const std::string& name = names.NameOf(path);
    progress_.ReportConverting(path, name);
    converted = JoinPath(work_folder, name);
    // A sound met before (in any role) is made once.
    bool made = placed.count(name) != 0;
    if (!made) {
      auto moved = [&](int percent) {
        if (!copies) {
          progress_.SetFixedProgress(ConversionProgressPosition(
              percent, state_.converted_count, combinations_, options_.no_background));
          return;
        }
        copies->ConversionDone(converted, percent);
        progress_.SetFixedProgress(ConvertingShareProgressPosition(copies->permille()));
      };
      const Status placed_sound = work.PlaceSound(path, converted, state_, moved,
                                                  copies ? copies->DecodedSinkFor(converted) : nullptr);
      made = placed_sound.ok();
      if (made) placed.insert(name);
      if (made && copies) {
        copies->ConversionDone(converted, 100);
        copies->Queue(converted);
      }
      // The conversion's own message comes first, then the run's below.
      if (!made && !placed_sound.cancelled() && services_.show_warning)
        services_.show_warning(placed_sound);
    }
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    // A failed conversion has told the user why; the run must not go on to
    // measure or copy a file that is not there.
    std::error_code missing;
    if (!made || !fs::is_regular_file(converted, missing)) {
      RunOutcome back = BackTo(PageOfRole(role), k + 1);
      back.message = Status::NotFound(ConvertedSoundMissingMessage(path, converted));
      return back;
    }
    return std::nullopt;
  };
  for (int k = 0; k < combinations_; ++k) {
    if (Step end = convert(k, kEntrance, sounds_.entrance_sounds[k], state_.converted_entrance[k]))
      return end;
    if (Step end = convert(k, kExit, sounds_.exit_sounds[k], state_.converted_exit[k]))
      return end;
    if (!options_.no_background)
      if (Step end = convert(k, kBackground, sounds_.background_sounds[k],
                             state_.converted_background[k]))
        return end;
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    Status timed = PlayingTimeOfFile(state_.converted_entrance[k], &state_.entrance_durations[k]);
    if (!timed.ok()) {
      RunOutcome back = BackTo(ReturnPage::kEntranceSound, k + 1);
      back.message =
          Status::IoError(CannotReadFileMessage(state_.converted_entrance[k], timed.message()));
      return back;
    }
  }
  // The browser copies are finished here, before a local page's folder
  // lock is taken, so that other pages' runs in the folder wait only for
  // the placing of files, never for an encoder.
  if (copies) {
    Status made = copies->Finish(&browser_copies_);
    if (made.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
    if (!made.ok())
      return StoppedBeforeThePage(BackTo(ReturnPage::kSelectHtmlFile, 1),
                                  CopyFailedMessage({made.message()}));
  }
  progress_.SetFixedProgress(kProgress.converting.end);
  progress_.SetStatusText("Converting finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

// The browser copies' progress: their text, and the bar through the
// converting span by the work done.
CopyProgress PipelineRun::CopyProgressReporter() {
  return [this, shown = std::string()](const std::string& source, int permille) mutable {
    const std::string text = BrowserCopyProgressText(source);
    if (text != shown) progress_.SetStatusText(shown = text);
    progress_.SetFixedProgress(ConvertingShareProgressPosition(permille));
  };
}

PipelineRun::Step PipelineRun::PlacingSounds() {
  if (page_.is_remote) return std::nullopt;
  if (!page_dir_.valid()) {
    // Reading the page tells why, if the page is gone with its folder; a
    // folder that holds it but cannot be opened fails the copies.
    Status opened = file_io::FolderHandle::Open(page_folder_, &page_dir_);
    if (!opened.ok()) {
      audio_dir_error_ = opened.message();
      return std::nullopt;
    }
  }
  Status locked = folder_lock_.Acquire(page_dir_, services_.lock_wait, &state_.cancel_requested,
                                       [&] {
                                         progress_.SetStatusText(WaitingForFolderText(page_folder_));
                                       });
  if (locked.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
  if (locked.code() == Status::Code::kRefused)
    return BackToStart(Status::Refused(FolderBusyMessage(page_.local_html_path, page_folder_)));
  // A file system that keeps no locks (some network ones) cannot hold
  // this one: the run goes on as before such a lock existed, with the page
  // lock keeping runs on this page apart.
  // The links may have changed while the run converted.
  if (Step end = CheckLinksBesidePage()) return end;
  Status opened = page_dir_.OpenSub("audio", /*create=*/true, &audio_dir_);
  if (opened.code() == Status::Code::kRefused)
    return BackToStart(Status::Refused(
        ForeignLinkMessage(page_.local_html_path, page_dir_.PathOf("audio"))));
  // A folder that cannot be made is reported with the copies that fail.
  if (!opened.ok()) audio_dir_error_ = opened.message();

  // Each distinct .au once, in the run's order, with its browser copy.
  std::vector<std::vector<std::string>*> converted = {&state_.converted_entrance,
                                                      &state_.converted_exit,
                                                      &state_.converted_background};
  const std::vector<std::string>* sources[] = {&sounds_.entrance_sounds, &sounds_.exit_sounds,
                                               &sounds_.background_sounds};
  std::vector<SoundToPlace> sounds;
  std::set<std::string> seen;
  for (int k = 0; k < combinations_; ++k) {
    for (int role = kEntrance; role <= kBackground; ++role) {
      if (k >= static_cast<int>(converted[role]->size())) continue;
      const std::string& au = (*converted[role])[k];
      if (au.empty() || !seen.insert(au).second) continue;
      auto copy = browser_copies_.find(au);
      sounds.push_back({au, audio::PlacedNameOf((*sources[role])[k]),
                        copy == browser_copies_.end() ? std::string() : copy->second.path});
    }
  }
  const AudioPlan plan = PlanAudioFolder(audio_dir_, ReadFolderUsage(page_dir_),
                                         ResourceBaseName(page_file_name_), sounds);

  // The work files take their final names in a folder of their own, so a
  // name that moves never meets another sound's old one.
  const std::string placed_folder = JoinPath(run_folder_->path(), "placed");
  std::error_code ec;
  fs::create_directory(placed_folder, ec);
  std::map<std::string, std::string> moved;  // old work path -> new
  for (const PlacedFile& file : plan.files) {
    const std::string to = JoinPath(placed_folder, file.name);
    fs::rename(file.from, to, ec);
    if (ec)
      return BackToStart(Status::IoError(CannotWriteFileMessage(to, ec.message())));
    moved[file.from] = to;
    audio_files_.push_back(file);
    audio_files_.back().from = to;
  }
  for (std::vector<std::string>* list : converted)
    for (std::string& au : *list)
      if (auto it = moved.find(au); it != moved.end()) au = it->second;
  BrowserCopies renamed;
  for (auto& [au, copy] : browser_copies_) {
    BrowserCopyFile file = copy;
    if (auto it = moved.find(copy.path); it != moved.end()) file.path = it->second;
    auto new_au = moved.find(au);
    renamed.emplace(new_au == moved.end() ? au : new_au->second, file);
  }
  browser_copies_ = std::move(renamed);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Retrieving() {
  const std::string retrieving = "Retrieving:\r\n\r\n\t" + page_file_name_;
  progress_.SetStatusText(retrieving);
  work_page_path_ = page_.local_html_path;
  if (page_.is_remote) {
    if (services_.transport == nullptr)
      return BackToStart(Status::Refused(RemoteUnavailableMessage(page_.remote_site)));
    TransferProgress observer(progress_, state_, page_.remote_site);
    Status fetched = services_.transport->FetchPage({page_.remote_site, page_.remote_path},
                                                    &page_text_, retrieving, observer);
    if (!fetched.ok()) {
      RunOutcome stopped =
          Stop(Cancelled() ? RunOutcome::End::kCancelled : RunOutcome::End::kUnusablePage);
      stopped.message = std::move(fetched);
      return stopped;
    }
  }
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::ReadingPage() {
  resource_file_name_ = ResourceFileName(page_file_name_);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  if (!page_.is_remote) {
    Status read = file_io::ReadWholeFile(work_page_path_, &page_text_, &state_.cancel_requested);
    if (read.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
    if (!read.ok())
      return BackToStart(Status::IoError(CannotReadFileMessage(work_page_path_, read.message())));
  }
  if (page_.is_remote) page_folder_ = run_folder_->path();
  progress_.SetFixedProgress(kProgress.page_read);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Processing() {
  progress_.SetStatusText("Processing:\r\n\r\n\t" + page_file_name_);
  html::PageNames names;
  names.for_refusal = page_.is_remote ? page_.remote_path : page_.local_html_path;
  names.for_body_error = page_.is_remote ? page_.remote_path : page_file_name_;
  PageForm form = PageFormOf(page_text_);
  html::PageEditResult result = html::ProcessPage(
      page_text_, names, AppletBlocks(options_, ResourceBaseName(page_file_name_), form));
  switch (result.outcome) {
    case html::PageEditOutcome::kEdited:
      break;
    case html::PageEditOutcome::kNotHtml:
      return BackToStart(Status::InvalidArgument(result.message));
    case html::PageEditOutcome::kFrameset:
      return BackToStart(Status::Refused(result.message));
    case html::PageEditOutcome::kBodyTagError: {
      RunOutcome unusable = Stop(RunOutcome::End::kUnusablePage);
      unusable.message = Status::Corrupt(result.message);
      if (!page_.is_remote) unusable.broken_page = work_page_path_;
      return unusable;
    }
  }
  edited_page_ = std::move(result.edited_page);
  // The record for taking the player off again: this run's own BODY edit
  // when it puts the block in first, else what the first run recorded.
  first_run_body_edit_ = result.replaced_earlier_block
                             ? EarlierBodyEditRecord()
                             : std::string(html::BodyEditName(result.body_edit));
  page_colour_ = result.page_colour;
  background_image_ = result.background_image;

  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.SetFixedProgress(kProgress.page_edited);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

// A run without the browser player makes no copies, but the copies an
// earlier run of this page put in audio/ stay there: the data file goes on
// naming them as the page's, or the folder's next run would take them for
// the user's own files, and a removal would leave them.
void PipelineRun::KeepEarlierCopies(std::vector<BrowserSound>* sounds) const {
  const FolderUsage usage = ReadFolderUsage(page_dir_);
  const auto page = usage.pages().find(ResourceBaseName(page_file_name_));
  if (page == usage.pages().end() || !audio_dir_.valid()) return;
  for (BrowserSound& sound : *sounds) {
    const std::string au = FileNameOfPath(sound.au_path);
    const std::string copy = au.substr(0, au.rfind('.')) + ".opus";
    if (page->second.audio_files.count(copy) == 0 || page->second.found_files.count(copy) != 0 ||
        audio_dir_.KindOf(copy) != file_io::FolderHandle::Kind::kFile)
      continue;
    sound.copy_name = sound.au_name.substr(0, sound.au_name.rfind('.')) + ".opus";
    sound.copy_path.clear();
  }
}

std::string PipelineRun::EarlierBodyEditRecord() {
  const std::string name = PlayerDataScriptName(ResourceBaseName(page_file_name_));
  std::string text;
  if (!page_.is_remote) {
    if (!page_dir_.valid() || !page_dir_.Read(name, &text).ok()) return std::string();
    return RecordedFirstRunBodyEdit(text);
  }
  if (services_.transport == nullptr ||
      !services_.transport->FetchBesidePage({page_.remote_site, page_.remote_path}, name, &text)
           .ok())
    return std::string();
  return RecordedFirstRunBodyEdit(text);
}

PipelineRun::Step PipelineRun::CreatingResourceFile() {
  progress_.SetStatusText("Creating resource file:\r\n\r\n\t" + resource_file_name_);
  Status warning;
  std::string text = ResourceText(options_, combinations_, ConvertedOfRun(), page_colour_,
                                  background_image_, &warning);
  if (!warning.ok() && services_.show_warning) services_.show_warning(warning);
  std::string path = JoinPath(run_folder_->path(), resource_file_name_);
  Status written = EncodeResourceText(text, &resource_bytes_);
  if (written.ok()) written = WriteResourceFile(path, text);
  if (!written.ok())
    return BackToStart(Status::IoError(CannotWriteFileMessage(path, written.message())));
  progress_.SetFixedProgress(kProgress.resource_file_made);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::WritingSettingsPage() {
  state_.test_page_address = SettingsPagePath(paths_.history_folder, page_file_name_);
  std::string text = SettingsPage(page_, options_, combinations_, ConvertedOfRun());
  std::error_code ec;
  fs::create_directories(paths_.history_folder, ec);
  // The page is complete by now, so a settings page that cannot be written
  // is told and the run still ends as done.
  Status written = file_io::WriteFileAtomically(state_.test_page_address, text);
  if (!written.ok() && services_.show_warning)
    services_.show_warning(
        Status::IoError(CannotWriteFileMessage(state_.test_page_address, written.message())));
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Transferring() {
  progress_.SetStatusText("Transferring:\r\n\r\n");
  progress_.StartTransferring();
  if (page_.is_remote) {
    PublishFiles files;
    files.page = edited_page_;
    for (int m = 0; m < combinations_; ++m) {
      files.sounds.push_back(state_.converted_entrance[m]);
      files.sounds.push_back(state_.converted_exit[m]);
      if (!options_.no_background) files.sounds.push_back(state_.converted_background[m]);
    }
    files.applet_class_path = paths_.applet_class_path;
    if (options_.browser_player) files.player_script_path = paths_.player_script_path;
    files.resource = {resource_file_name_, resource_bytes_};
    if (Step end = PreparePlayerFiles(&files)) return end;
    TransferProgress observer(progress_, state_, page_.remote_site);
    Status published =
        services_.transport->PublishPage({page_.remote_site, page_.remote_path}, files, observer);
    if (!published.ok()) {
      RunOutcome stopped =
          Stop(Cancelled() ? RunOutcome::End::kCancelled : RunOutcome::End::kUnusablePage);
      stopped.message = std::move(published);
      return stopped;
    }
  } else {
    if (Step end = CopyBesidePage()) return end;
    if (Step end = ReplacePage()) return end;
  }
  progress_.SetStatusText("Transferring finished.");
  progress_.SetFixedProgress(kProgress.transferring.end);
  Pause(1000);
  return std::nullopt;
}

// A remote page's site gets what a local run puts beside the page for the
// browser player, made in the work folder: the sounds' browser copies and
// the player's data file. The local preview file is left off: a page on a
// site fetches its files and never reads it. Nothing is on the site yet,
// so a failure here leaves the site as it was.
PipelineRun::Step PipelineRun::PreparePlayerFiles(PublishFiles* files) {
  // Without the browser player only the data file goes up, for its record
  // (there are no copies then).
  std::vector<BrowserSound> browser_sounds = BrowserSoundsOf(ConvertedOfRun());
  FillBrowserCopyFields(browser_copies_, &browser_sounds);
  // In the sounds' order, as a local run copies them.
  for (const BrowserSound& sound : browser_sounds)
    if (!sound.copy_path.empty()) files->sound_copies.push_back(sound.copy_path);
  Status status = PlayerFiles(ResourceBaseName(page_file_name_), resource_bytes_, browser_sounds,
                              /*local_preview=*/false, &files->player_data, first_run_body_edit_);
  if (status.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
  if (!status.ok()) return BackToStart(std::move(status).WithBox(BoxStyle::kSystemModal));
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::CopyBesidePage() {
  // A failed copy does not stop the others, but it is reported, and the page
  // is then left as it was.
  std::vector<std::string> failures;
  const RunOutcome cancelled = Stop(RunOutcome::End::kCancelled);
  std::map<std::string, const PlacedFile*> planned;
  for (const PlacedFile& file : audio_files_) planned[file.from] = &file;
  std::set<std::string> done;
  // Copies `from` into `folder` as `name` unless it holds those bytes
  // already; false on a stop.
  const std::string audio_folder = JoinPath(page_folder_, "audio");
  auto copy = [&](const file_io::FolderHandle& folder, const std::string& from,
                  const std::string& name, bool write) -> bool {
    if (Cancelled()) return false;
    const std::string to = folder.valid() ? folder.PathOf(name)
                                          : JoinPath(&folder == &audio_dir_ ? audio_folder
                                                                            : page_folder_,
                                                     name);
    if (!write || !done.insert(to).second) return true;
    if (!folder.valid()) {
      failures.push_back(from + " -> " + to + ": " + audio_dir_error_);
      return true;
    }
    Status copied = folder.Copy(from, name, &state_.cancel_requested);
    if (copied.code() == Status::Code::kCancelled) return false;
    if (copied.ok()) placed_.push_back(to);
    else failures.push_back(from + " -> " + to + ": " + copied.message());
    return true;
  };
  auto copy_sound = [&](const std::string& au) -> bool {
    progress_.ReportTransferring(au, page_folder_);
    auto file = planned.find(au);
    if (file == planned.end()) return !Cancelled();
    return copy(audio_dir_, au, file->second->name, file->second->write);
  };
  for (int m = 0; m < combinations_; ++m) {
    if (!copy_sound(state_.converted_entrance[m])) return StoppedBeforeThePage(cancelled, "");
    if (!copy_sound(state_.converted_exit[m])) return StoppedBeforeThePage(cancelled, "");
    if (!options_.no_background && !copy_sound(state_.converted_background[m]))
      return StoppedBeforeThePage(cancelled, "");
  }
  // The browser copies go beside the .au files. They are not among the
  // files the progress counts.
  for (const PlacedFile& file : audio_files_)
    if (file.is_copy && !copy(audio_dir_, file.from, file.name, file.write))
      return StoppedBeforeThePage(cancelled, "");
  // The class file and the player script are the folder's, shared by its
  // pages: they are written only when they differ.
  const std::string class_name = FileNameOfPath(paths_.applet_class_path);
  progress_.ReportTransferring(paths_.applet_class_path, page_folder_);
  if (!copy(page_dir_, paths_.applet_class_path, class_name,
            !page_dir_.HoldsCopyOf(class_name, paths_.applet_class_path)))
    return StoppedBeforeThePage(cancelled, "");
  // The page loads the player by this name, whatever the install calls it.
  if (options_.browser_player) {
    progress_.ReportTransferring(paths_.player_script_path, page_folder_);
    if (!copy(page_dir_, paths_.player_script_path, kPlayerScriptFileName,
              !page_dir_.HoldsCopyOf(kPlayerScriptFileName, paths_.player_script_path)))
      return StoppedBeforeThePage(cancelled, "");
  }
  if (Cancelled()) return StoppedBeforeThePage(cancelled, "");
  progress_.ReportTransferring(resource_file_name_, page_folder_);
  const std::string resource_from = JoinPath(run_folder_->path(), resource_file_name_);
  if (!copy(page_dir_, resource_from, resource_file_name_, true))
    return StoppedBeforeThePage(cancelled, "");
  // The data file also without the browser player (whose block then does
  // not load it): it keeps the record for taking the player off again.
  if (!page_dir_.valid()) {
    if (options_.browser_player)
      failures.push_back("writing into " + page_folder_ + ": " + audio_dir_error_);
  } else {
    std::vector<BrowserSound> browser_sounds = BrowserSoundsOf(ConvertedOfRun());
    FillBrowserCopyFields(browser_copies_, &browser_sounds);
    for (BrowserSound& sound : browser_sounds) {
      auto au = planned.find(sound.au_path);
      sound.au_found = au != planned.end() && au->second->found;
      auto copy = planned.find(sound.copy_path);
      sound.copy_found = copy != planned.end() && copy->second->found;
    }
    if (!options_.browser_player) KeepEarlierCopies(&browser_sounds);
    Status written = WritePlayerFiles(page_dir_, ResourceBaseName(page_file_name_),
                                      resource_from, browser_sounds,
                                      /*local_preview=*/options_.browser_player, &placed_,
                                      &state_.cancel_requested, first_run_body_edit_);
    if (written.code() == Status::Code::kCancelled) return StoppedBeforeThePage(cancelled, "");
    if (!written.ok()) failures.push_back(written.message());
  }
  if (!failures.empty())
    return StoppedBeforeThePage(BackTo(ReturnPage::kSelectHtmlFile, 1),
                                CopyFailedMessage(failures));
  return std::nullopt;
}

// The commit point of a local run: everything the page needs is beside it,
// and this rename is the run's last write.
PipelineRun::Step PipelineRun::ReplacePage() {
  if (Cancelled()) return StoppedBeforeThePage(Stop(RunOutcome::End::kCancelled), "");
  Status written =
      file_io::WriteFileAtomically(page_write_path_, edited_page_, &state_.cancel_requested);
  if (written.code() == Status::Code::kCancelled)
    return StoppedBeforeThePage(Stop(RunOutcome::End::kCancelled), "");
  if (!written.ok())
    return StoppedBeforeThePage(BackTo(ReturnPage::kSelectHtmlFile, 1),
                                CannotWriteFileMessage(page_.local_html_path, written.message()));
  // The page names its files now: other runs in the folder may go on.
  folder_lock_.Release();
  return std::nullopt;
}

void PipelineRun::Finishing() {
  progress_.SetStatusText("All Done.");
  progress_.SetFixedProgress(kProgress.done);
  Pause(500);
  if (services_.write_history) services_.write_history(HistoryOfRun(page_, sounds_, options_));
  if (services_.beep) services_.beep();
}

}  // namespace sonavelt::run
