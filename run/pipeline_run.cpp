#include "run/pipeline_run.h"

#include <algorithm>
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
#include "run/local_page_transfer.h"
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
                         ProgressPanel& panel, const StopRequest& stop, RunServices services)
    : page_(page),
      sounds_(sounds),
      options_(options),
      paths_(paths),
      questions_(questions),
      stop_(stop),
      services_(std::move(services)),
      progress_(panel, sounds.combination_count, options.no_background, page.is_remote,
                options.browser_player),
      combinations_(sounds.combination_count) {
  if (!services_.free_space) services_.free_space = FreeSpaceOf;
}

bool PipelineRun::Cancelled() const { return stop_.requested(); }

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

RunOutcome PipelineRun::TransportFailed(Status status) const {
  RunOutcome outcome;
  if (Cancelled() || status.cancelled())
    outcome = Stop(RunOutcome::End::kCancelled);
  else if (transport_->MayTryAgain())
    outcome = BackTo(ReturnPage::kSelectHtmlFile, 1);
  else
    outcome = Stop(RunOutcome::End::kUnusablePage);
  if (!status.cancelled()) outcome.message = std::move(status);
  return outcome;
}

RunOutcome PipelineRun::NothingPlaced(const std::string& why) const {
  return BackToStart(Status::IoError(why + "\r\n\r\n" + PageKeptMessage(shown_page_, {})));
}

RemotePage PipelineRun::Where() const { return {page_.remote_site, page_.remote_path}; }

void PipelineRun::Pause(int milliseconds) {
  if (services_.pause) services_.pause(milliseconds);
}

RunOutcome PipelineRun::Run() {
  // The one choice between a site and this machine: the page's transport,
  // and how messages name the page. A site's transport is the front end's;
  // a page here gets one of its own for the run.
  local_.reset();
  if (page_.is_remote) {
    transport_ = services_.transport;
    shown_page_ = page_.remote_path;
    body_error_name_ = page_.remote_path;
    editable_page_.clear();
  } else {
    local_ = std::make_unique<LocalPageTransfer>(page_.local_html_path, services_.lock_wait);
    transport_ = local_.get();
    shown_page_ = page_.local_html_path;
    body_error_name_ = FileNameOfPath(page_.local_html_path);
    editable_page_ = page_.local_html_path;
  }
  page_file_name_ = FileNameOfPath(shown_page_);
  page_folder_ = transport_ ? transport_->LocalFolder() : std::string();
  browser_copies_.clear();
  audio_files_.clear();
  sound_bytes_ = 0;
  wave_file_count_ = 0;
  settings_page_.clear();

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
      run.transport_ = nullptr;
      run.local_.reset();
      run.run_folder_.reset();
      run.lock_.Release();
    }
  } end_of_run{*this};

  if (Step end = Phases()) return *end;
  Finishing();
  return RunOutcome{};
}

PipelineRun::Step PipelineRun::Phases() {
  if (Step end = Beginning()) return end;
  PhaseResult<CheckedSounds> checked = Preparing();
  if (checked.end) return checked.end;
  sound_bytes_ = checked.result.bytes;
  wave_file_count_ = checked.result.wave_file_count;
  if (Step end = CheckingRoom(checked.result)) return end;
  PhaseResult<ConvertedSounds> converted = Converting();
  if (converted.end) return converted.end;
  // The page is read and edited before the first file goes beside it: a
  // page the edit refuses (a frameset, no body) leaves its folder as it was.
  for (Step (PipelineRun::*phase)() :
       {&PipelineRun::Retrieving, &PipelineRun::ReadingPage, &PipelineRun::Processing}) {
    if (Step end = (this->*phase)()) return end;
  }
  if (Step end = PlacingSounds(&converted.result)) return end;
  if (Step end = CreatingResourceFile(converted.result)) return end;
  if (Step end = Transferring(converted.result)) return end;
  WritingSettingsPage(converted.result);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Beginning() {
  const std::string& shown = shown_page_;
  const std::string lock_folder =
      services_.lock_folder.empty() ? LockFolder() : services_.lock_folder;
  Status locked = lock_.Acquire(lock_folder, TargetKey(page_), services_.lock_wait,
                                stop_.flag(), [&] {
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
  // A site without a transport is told when the page is fetched.
  if (transport_ == nullptr) return std::nullopt;
  Status checked = transport_->CheckBesidePage(Where(), NamesBesidePage());
  if (!checked.ok()) return BackToStart(std::move(checked));
  return std::nullopt;
}

std::vector<std::string> PipelineRun::NamesBesidePage() const {
  const std::string base = ResourceBaseName(page_file_name_);
  std::vector<std::string> names = {ResourceFileName(page_file_name_),
                                    FileNameOfPath(paths_.applet_class_path), kAudioFolder};
  if (options_.browser_player) {
    names.push_back(kPlayerScriptFileName);
    names.push_back(PlayerDataScriptName(base));
    names.push_back(LocalPreviewScriptName(base));
  }
  return names;
}

PipelineRun::PhaseResult<CheckedSounds> PipelineRun::Preparing() {
  progress_.Start();
  CheckedSounds checked;
  FormatAnswers answers;
  // The format question offers answers for all while sounds wait after it.
  int left = combinations_ * (options_.no_background ? 2 : 3);
  for (int j = 0; j < combinations_; ++j) {
    answers.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kEntrance, sounds_.entrance_sounds[j], answers, &checked))
      return *end;
    answers.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kExit, sounds_.exit_sounds[j], answers, &checked))
      return *end;
    if (options_.no_background) continue;
    answers.more_sounds_waiting = --left > 0;
    if (Step end = PrepareSound(j, kBackground, sounds_.background_sounds[j], answers, &checked))
      return *end;
  }
  progress_.SetFixedProgress(kProgress.preparing.end);
  progress_.SetStatusText("Preparing finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return checked;
}

PipelineRun::Step PipelineRun::CheckingRoom(const CheckedSounds& checked) {
  // The work folder takes the conversions (and their working room) and the
  // browser copies; the page's folder every file the run puts beside the
  // page and, for a moment, the new page beside the old one.
  PageFolderFiles files;
  files.sounds = checked.measures;
  files.combinations = combinations_;
  files.browser_player = options_.browser_player;
  auto size_of = [](const std::string& file) -> uint64_t {
    std::error_code ec;
    uintmax_t size = fs::file_size(file, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
  };
  // A page on this machine has its folder's room checked too.
  const std::string& beside = page_folder_;
  files.page_bytes = beside.empty() ? 0 : size_of(page_.local_html_path);
  files.class_bytes = size_of(paths_.applet_class_path);
  if (options_.browser_player) files.script_bytes = size_of(paths_.player_script_path);
  std::vector<DiskUse> uses;
  uses.push_back({run_folder_->path(),
                  WorkFolderNeed(files, checked.wave_file_count, checked.max_frames)});
  if (!beside.empty()) uses.push_back({beside, PageFolderNeed(files)});
  if (!DiskSpaceCheck(uses, services_.free_space, questions_))
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::PrepareSound(int j, int role, const std::string& path,
                                            FormatAnswers& answers, CheckedSounds* checked) {
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

  SoundCheck format = work.CheckSoundFile(path, answers);
  if (!format.status.ok()) {
    back.message = std::move(format.status);
    return back;
  }
  uint64_t length = 0;
  Status not_empty = work.CheckNotEmpty(path, &length);
  if (!not_empty.ok() || length == 0) {
    back.message = std::move(not_empty);
    return back;
  }
  checked->max_frames = std::max(checked->max_frames, format.frames);
  checked->bytes += length;
  checked->measures.push_back(MeasureSound(path, length, audio::IsUsedAsIs(path)));
  if (IsWavePath(path)) ++checked->wave_file_count;
  // The .au keeps the first channel only: said before it is made.
  audio::ConversionControl control;
  control.cancel_requested = stop_.flag();
  Status first_channel = audio::CheckFirstChannel(path, control);
  if (first_channel.cancelled()) return Stop(RunOutcome::End::kCancelled);
  if (!first_channel.ok() && services_.show_warning) services_.show_warning(first_channel);
  return std::nullopt;
}

PipelineRun::PhaseResult<ConvertedSounds> PipelineRun::Converting() {
  progress_.SetStatusText("Converting:\r\n");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.StartConverting();
  ConvertedSounds result;
  result.entrance.assign(combinations_, std::string());
  result.exit.assign(combinations_, std::string());
  result.entrance_durations.assign(combinations_, std::string());
  result.background.assign(options_.no_background ? 0 : combinations_, std::string());

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
  const audio::SoundNames names(
      run_order, page_folder_.empty() ? std::string() : JoinPath(page_folder_, kAudioFolder));
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
    control.cancel_requested = stop_.flag();
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
          progress_.ReportConversionPercent(percent);
          return;
        }
        copies->ConversionDone(converted, percent);
        progress_.SetFixedProgress(ConvertingShareProgressPosition(copies->permille()));
      };
      const Status placed_sound = work.PlaceSound(path, converted, stop_, moved,
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
    if (Step end = convert(k, kEntrance, sounds_.entrance_sounds[k], result.entrance[k]))
      return *end;
    if (Step end = convert(k, kExit, sounds_.exit_sounds[k], result.exit[k])) return *end;
    if (!options_.no_background)
      if (Step end =
              convert(k, kBackground, sounds_.background_sounds[k], result.background[k]))
        return *end;
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    Status timed = PlayingTimeOfFile(result.entrance[k], &result.entrance_durations[k]);
    if (!timed.ok()) {
      RunOutcome back = BackTo(ReturnPage::kEntranceSound, k + 1);
      back.message = Status::IoError(CannotReadFileMessage(result.entrance[k], timed.message()));
      return back;
    }
  }
  // The browser copies are finished here, before a local page's folder
  // lock is taken, so that other pages' runs in the folder wait only for
  // the placing of files, never for an encoder.
  if (copies) {
    Status made = copies->Finish(&browser_copies_);
    if (made.code() == Status::Code::kCancelled) return Stop(RunOutcome::End::kCancelled);
    if (!made.ok()) return NothingPlaced(CopyFailedMessage({made.message()}));
  }
  progress_.SetFixedProgress(kProgress.converting.end);
  progress_.SetStatusText("Converting finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return result;
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

PipelineRun::Step PipelineRun::PlacingSounds(ConvertedSounds* sounds_made) {
  // Each distinct .au once, in the run's order, with its browser copy.
  std::vector<std::string>* converted[] = {&sounds_made->entrance, &sounds_made->exit,
                                           &sounds_made->background};
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
  TransferProgress observer(progress_, stop_, transport_->Destination(Where()));
  std::vector<PlacedFile> plan;
  Status claimed = transport_->ClaimAudioNames(Where(), sounds, &plan, observer);
  if (claimed.cancelled()) return Stop(RunOutcome::End::kCancelled);
  if (!claimed.ok()) return BackToStart(std::move(claimed));

  // The work files take their final names in a folder of their own, so a
  // name that moves never meets another sound's old one.
  const std::string placed_folder = JoinPath(run_folder_->path(), "placed");
  std::error_code ec;
  fs::create_directory(placed_folder, ec);
  std::map<std::string, std::string> moved;  // old work path -> new
  for (const PlacedFile& file : plan) {
    // A copy an earlier run left in audio/ has no work file.
    if (file.from.empty()) {
      audio_files_.push_back(file);
      continue;
    }
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
  if (transport_ == nullptr)
    return BackToStart(Status::Refused(RemoteUnavailableMessage(page_.remote_site)));
  TransferProgress observer(progress_, stop_, transport_->Destination(Where()));
  Status fetched = transport_->FetchPage(Where(), &page_text_, retrieving, observer);
  if (!fetched.ok()) return TransportFailed(std::move(fetched));
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::ReadingPage() {
  resource_file_name_ = ResourceFileName(page_file_name_);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.SetFixedProgress(kProgress.page_read);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Processing() {
  progress_.SetStatusText("Processing:\r\n\r\n\t" + page_file_name_);
  html::PageNames names;
  names.for_refusal = shown_page_;
  names.for_body_error = body_error_name_;
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
      unusable.broken_page = editable_page_;
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
// earlier run of this page put in audio/ stay there (the transport keeps
// them in its plan, without a work file): the data file goes on naming them
// as the page's, or the folder's next run would take them for the user's
// own files, and a removal would leave them.
void PipelineRun::KeepEarlierCopies(std::vector<BrowserSound>* sounds) const {
  std::set<std::string> kept;
  for (const PlacedFile& file : audio_files_)
    if (file.is_copy && file.from.empty()) kept.insert(file.name);
  for (BrowserSound& sound : *sounds) {
    const std::string au = FileNameOfPath(sound.au_path);
    if (kept.count(au.substr(0, au.rfind('.')) + ".opus") == 0) continue;
    sound.copy_name = sound.au_name.substr(0, sound.au_name.rfind('.')) + ".opus";
    sound.copy_path.clear();
  }
}

std::string PipelineRun::EarlierBodyEditRecord() {
  const std::string name = PlayerDataScriptName(ResourceBaseName(page_file_name_));
  std::string text;
  if (!transport_->FetchBesidePage(Where(), name, &text).ok()) return std::string();
  return RecordedFirstRunBodyEdit(text);
}

PipelineRun::Step PipelineRun::CreatingResourceFile(const ConvertedSounds& converted) {
  progress_.SetStatusText("Creating resource file:\r\n\r\n\t" + resource_file_name_);
  Status warning;
  std::string text = ResourceText(options_, combinations_, converted, page_colour_,
                                  background_image_, &warning);
  if (!warning.ok() && services_.show_warning) services_.show_warning(warning);
  Status encoded = EncodeResourceText(text, &resource_bytes_);
  if (!encoded.ok())
    return BackToStart(
        Status::IoError(CannotWriteFileMessage(resource_file_name_, encoded.message())));
  progress_.SetFixedProgress(kProgress.resource_file_made);
  return std::nullopt;
}

void PipelineRun::WritingSettingsPage(const ConvertedSounds& converted) {
  settings_page_ = SettingsPagePath(paths_.history_folder, page_file_name_);
  std::string text = SettingsPage(page_, options_, combinations_, converted);
  std::error_code ec;
  fs::create_directories(paths_.history_folder, ec);
  // The page is complete by now, so a settings page that cannot be written
  // is told and the run still ends as done.
  Status written = file_io::WriteFileAtomically(settings_page_, text);
  if (!written.ok() && services_.show_warning)
    services_.show_warning(
        Status::IoError(CannotWriteFileMessage(settings_page_, written.message())));
}

PipelineRun::Step PipelineRun::Transferring(const ConvertedSounds& converted) {
  progress_.SetStatusText("Transferring:\r\n\r\n");
  progress_.StartTransferring();
  PublishFiles files;
  if (Step end = ListFilesBesidePage(converted, &files)) return end;
  TransferProgress observer(progress_, stop_, transport_->Destination(Where()));
  Status published = transport_->PublishPage(Where(), files, observer);
  if (!published.ok()) return TransportFailed(std::move(published));
  progress_.SetStatusText("Transferring finished.");
  progress_.SetFixedProgress(kProgress.transferring.end);
  Pause(1000);
  return std::nullopt;
}

// Every file the page needs, each made once: the sounds and their browser
// copies in the work folder, the page and the text files in memory. The
// local preview goes only beside a page that opens from disk (a page on a
// site fetches its files and never reads it). Nothing is placed yet, so a
// failure here leaves the page and its folder as they were.
PipelineRun::Step PipelineRun::ListFilesBesidePage(const ConvertedSounds& converted,
                                                   PublishFiles* files) {
  files->page = std::move(edited_page_);
  for (int m = 0; m < combinations_; ++m) {
    files->sounds.push_back(converted.entrance[m]);
    files->sounds.push_back(converted.exit[m]);
    if (!options_.no_background) files->sounds.push_back(converted.background[m]);
  }
  files->applet_class_path = paths_.applet_class_path;
  if (options_.browser_player) files->player_script_path = paths_.player_script_path;
  files->resource = {resource_file_name_, resource_bytes_};

  std::vector<BrowserSound> browser_sounds = BrowserSoundsOf(converted);
  FillBrowserCopyFields(browser_copies_, &browser_sounds);
  std::map<std::string, const PlacedFile*> planned;
  for (const PlacedFile& file : audio_files_)
    if (!file.from.empty()) planned[file.from] = &file;
  for (BrowserSound& sound : browser_sounds) {
    auto au = planned.find(sound.au_path);
    sound.au_found = au != planned.end() && au->second->found;
    auto copy = planned.find(sound.copy_path);
    sound.copy_found = copy != planned.end() && copy->second->found;
  }
  if (!options_.browser_player) KeepEarlierCopies(&browser_sounds);
  // In the sounds' order.
  for (const BrowserSound& sound : browser_sounds)
    if (!sound.copy_path.empty()) files->sound_copies.push_back(sound.copy_path);
  // The data file also without the browser player (whose block then does
  // not load it): it keeps the record for taking the player off again.
  Status made = PlayerFiles(ResourceBaseName(page_file_name_), resource_bytes_, browser_sounds,
                            options_.browser_player && transport_->OpensFromDisk(),
                            &files->player_data, first_run_body_edit_);
  if (!made.ok()) return NothingPlaced(CopyFailedMessage({made.message()}));
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
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
