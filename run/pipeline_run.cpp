#include "run/pipeline_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "audio/conversion_progress.h"
#include "base/text.h"
#include "html/page_edit.h"
#include "run/applet_block.h"
#include "run/disk_space.h"
#include "run/player_data.h"
#include "run/resource_text.h"
#include "run/run_messages.h"
#include "run/settings_page.h"
#include "run/startup.h"

namespace sonavelt::run {
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

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* reason) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    *reason = std::strerror(EISDIR);
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *reason = std::strerror(errno);
    return false;
  }
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) {
    *reason = "read error";
    return false;
  }
  *bytes = out.str();
  return true;
}

// Copies `from` over `to`. A file copied onto itself (a sound already in the
// page's audio folder) counts as copied. The copy is made under a temporary
// name beside `to` and renamed into place, so a disk that fills up leaves
// the earlier file (or none), never a cut-off sound the page would play. The
// bytes go through read and write so that *reason is the system's own word
// for the failure ("No space left on device").
bool CopyOver(const std::string& from, const std::string& to, std::string* reason) {
  std::error_code ec;
  if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return true;
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  fs::path target(to);
  std::string temp =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  int out = mkstemp(temp.data());
  if (out < 0) {
    *reason = std::strerror(errno);
    close(in);
    return false;
  }
  int error = 0;
  char buffer[65536];
  while (error == 0) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) error = errno;
      break;
    }
    for (ssize_t done = 0; done < n && error == 0;) {
      ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) error = errno;
      if (w > 0) done += w;
    }
  }
  close(in);
  if (error == 0) fchmod(out, 0644);
  if (close(out) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temp.c_str(), to.c_str()) != 0) error = errno;
  if (error != 0) {
    *reason = std::strerror(error);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool IsAlreadyCounted(const std::string& path, const std::vector<std::string>& list, int j) {
  int n = std::min<int>(j, static_cast<int>(list.size()));
  for (int i = 0; i < n; ++i)
    if (list[i] == path) return true;
  return false;
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* reason) {
  fs::path target(path);
  fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  auto fail = [&](int error) {
    *reason = std::strerror(error);
    close(fd);
    unlink(temp.c_str());
    return false;
  };
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    written += static_cast<size_t>(n);
  }
  // The new page keeps the old one's permissions (mkstemp makes it 0600).
  struct stat old_stat;
  if (stat(path.c_str(), &old_stat) == 0) fchmod(fd, old_stat.st_mode & 07777);
  else fchmod(fd, 0644);
  if (fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    *reason = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    *reason = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

PipelineRun::PipelineRun(const PageTarget& page, const SoundSet& sounds, const RunOptions& options,
                         const InstallPaths& paths, UserInterface& ui, ProgressPanel& panel,
                         RunState& state, RunServices services)
    : page_(page),
      sounds_(sounds),
      options_(options),
      paths_(paths),
      ui_(ui),
      state_(state),
      services_(std::move(services)),
      progress_(panel, state, sounds.combination_count, options.no_background, page.is_remote,
                options.browser_player),
      combinations_(sounds.combination_count) {
  if (!services_.free_space) services_.free_space = FreeSpaceOfCurrentFolder;
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

  for (Step (PipelineRun::*phase)() :
       {&PipelineRun::Preparing, &PipelineRun::Converting, &PipelineRun::Retrieving,
        &PipelineRun::ReadingPage, &PipelineRun::Processing, &PipelineRun::CreatingResourceFile,
        &PipelineRun::WritingSettingsPage, &PipelineRun::Transferring}) {
    if (Step end = (this->*phase)()) {
      state_.preparing_run = false;
      if (!temp_page_path_.empty()) {
        std::error_code ec;
        fs::remove(temp_page_path_, ec);
      }
      return *end;
    }
  }
  Finishing();
  return RunOutcome{};
}

PipelineRun::Step PipelineRun::Preparing() {
  progress_.Start();
  state_.max_wave_frames = 0;
  state_.preparing_run = true;
  sound_bytes_ = 0;
  wave_file_count_ = 0;
  for (int j = 0; j < combinations_; ++j) {
    if (Step end = PrepareSound(j, kEntrance, sounds_.entrance_sounds[j])) return end;
    if (Step end = PrepareSound(j, kExit, sounds_.exit_sounds[j])) return end;
    if (!options_.no_background)
      if (Step end = PrepareSound(j, kBackground, sounds_.background_sounds[j])) return end;
  }
  state_.preparing_run = false;
  progress_.SetFixedProgress(6);
  progress_.SetStatusText("Preparing finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);

  disk_need_ = DiskSpaceNeed(sound_bytes_, wave_file_count_, state_.max_wave_frames,
                             page_.is_remote);
  if (!DiskSpaceCheck(disk_need_, services_.free_space(), ui_))
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::PrepareSound(int j, int role, const std::string& path) {
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.ReportPreparing(path);
  SoundWork& work = *services_.sounds;
  RunOutcome back = BackTo(PageOfRole(role), j + 1);
  if (!work.FileExists(path)) {
    work.ReportMissing(path);
    return back;
  }
  if (!work.HasSoundExtension(path)) {
    work.ReportUnsupported(path);
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

  if (!work.CheckSoundFile(path, state_)) return back;
  uint64_t length = work.CheckNotEmpty(path);
  if (length == 0) return back;
  sound_bytes_ += length;
  if (IsWavePath(path)) ++wave_file_count_;
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
  auto convert = [&](int k, int role, const std::string& path, std::string& converted) -> Step {
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    progress_.ReportConverting(path);
    converted = work.ConvertIfWav(path, state_, [this](int percent) {
      progress_.SetFixedProgress(audio::ConversionProgressPosition(
          percent, state_.converted_count, combinations_, options_.no_background));
    });
    if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
    // A failed conversion has told the user why; the run must not go on to
    // measure or copy a file that is not there.
    std::error_code ec;
    if (converted.empty() || !fs::is_regular_file(converted, ec)) {
      ui_.Tell(BoxStyle::kSystemModal, ConvertedSoundMissingMessage(path, converted));
      return BackTo(PageOfRole(role), k + 1);
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
      ui_.Tell(BoxStyle::kSystemModal,
               CannotReadFileMessage(state_.converted_entrance[k], timed.message()));
      return BackTo(ReturnPage::kEntranceSound, k + 1);
    }
  }
  progress_.SetFixedProgress(54);
  progress_.SetStatusText("Converting finished.");
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Retrieving() {
  progress_.SetStatusText("Retrieving:\r\n\r\n\t" + page_file_name_);
  if (page_.is_remote) {
    std::error_code ec;
    fs::create_directories(paths_.cache_folder, ec);
    temp_page_path_ = JoinPath(paths_.cache_folder, "dumytemp.htm");
    if (services_.transport == nullptr) {
      ui_.Tell(BoxStyle::kSystemModal, RemoteUnavailableMessage(page_.remote_site));
      return BackTo(ReturnPage::kSelectHtmlFile, 1);
    }
    if (!services_.transport->FetchPage(page_, temp_page_path_, progress_, state_))
      return Stop(Cancelled() ? RunOutcome::End::kCancelled : RunOutcome::End::kUnusablePage);
    work_page_path_ = temp_page_path_;
  } else {
    work_page_path_ = page_.local_html_path;
  }
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::ReadingPage() {
  resource_file_name_ = ResourceFileName(page_file_name_);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  std::string reason;
  if (!ReadWholeFile(work_page_path_, &page_text_, &reason)) {
    ui_.Tell(BoxStyle::kSystemModal, CannotReadFileMessage(work_page_path_, reason));
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  }
  fs::path folder = fs::path(work_page_path_).parent_path();
  page_folder_ = folder.empty() ? std::string(".") : folder.string();
  progress_.SetFixedProgress(59);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Processing() {
  progress_.SetStatusText("Processing:\r\n\r\n\t" + page_file_name_);
  html::PageNames names;
  names.for_refusal = page_.is_remote ? page_.remote_path : page_.local_html_path;
  names.for_body_error = page_.is_remote ? page_.remote_path : page_file_name_;
  PageForm form = PageFormOf(page_text_);
  form.player_data = !page_.is_remote;  // the transfer to a site does not send it yet
  html::PageEditResult result = html::ProcessPage(
      page_text_, names, AppletBlocks(options_, ResourceBaseName(page_file_name_), form));
  switch (result.outcome) {
    case html::PageEditOutcome::kEdited:
      break;
    case html::PageEditOutcome::kNotHtml:
      ui_.Tell(BoxStyle::kSystemModal, result.message);
      return BackTo(ReturnPage::kSelectHtmlFile, 1);
    case html::PageEditOutcome::kBodyTagError:
      ui_.Tell(BoxStyle::kSystemModal, result.message);
      if (!page_.is_remote && services_.show_broken_page)
        services_.show_broken_page(work_page_path_);
      return Stop(RunOutcome::End::kUnusablePage);
  }
  edited_page_ = std::move(result.edited_page);
  page_colour_ = result.page_colour;
  background_image_ = result.background_image;

  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  std::string reason;
  if (!ReplaceFileContents(work_page_path_, edited_page_, &reason)) {
    ui_.Tell(BoxStyle::kSystemModal, CannotWriteFileMessage(work_page_path_, reason));
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  }
  progress_.SetFixedProgress(64);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::CreatingResourceFile() {
  progress_.SetStatusText("Creating resource file:\r\n\r\n\t" + resource_file_name_);
  std::error_code ec;
  fs::create_directories(paths_.cache_folder, ec);
  std::string text = ResourceText(options_, combinations_, ConvertedOfRun(), page_colour_,
                                  background_image_, ui_);
  std::string path = JoinPath(paths_.cache_folder, resource_file_name_);
  Status written = WriteResourceFile(path, text);
  if (!written.ok()) {
    ui_.Tell(BoxStyle::kSystemModal, CannotWriteFileMessage(path, written.message()));
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  }
  progress_.SetFixedProgress(69);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::WritingSettingsPage() {
  state_.test_page_address = SettingsPagePath(paths_.history_folder, page_file_name_);
  std::string text = SettingsPage(page_, options_, combinations_, ConvertedOfRun());
  std::error_code ec;
  fs::create_directories(paths_.history_folder, ec);
  std::string reason;
  if (!ReplaceFileContents(state_.test_page_address, text, &reason)) {
    ui_.Tell(BoxStyle::kSystemModal, CannotWriteFileMessage(state_.test_page_address, reason));
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  }
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::Transferring() {
  progress_.SetStatusText("Transferring:\r\n\r\n");
  progress_.StartTransferring();
  if (page_.is_remote) {
    PublishFiles files;
    files.page_path = temp_page_path_;
    for (int m = 0; m < combinations_; ++m) {
      files.sounds.push_back(state_.converted_entrance[m]);
      files.sounds.push_back(state_.converted_exit[m]);
      if (!options_.no_background) files.sounds.push_back(state_.converted_background[m]);
    }
    files.applet_class_path = paths_.applet_class_path;
    if (options_.browser_player) files.player_script_path = paths_.player_script_path;
    files.resource_path = JoinPath(paths_.cache_folder, resource_file_name_);
    if (!services_.transport->PublishPage(page_, files, progress_, state_))
      return Stop(Cancelled() ? RunOutcome::End::kCancelled : RunOutcome::End::kUnusablePage);
    std::error_code ec;
    fs::remove(temp_page_path_, ec);
    temp_page_path_.clear();
  } else if (Step end = CopyBesidePage()) {
    return end;
  }
  progress_.SetStatusText("Transferring finished.");
  progress_.SetFixedProgress(99);
  Pause(1000);
  return std::nullopt;
}

PipelineRun::Step PipelineRun::CopyBesidePage() {
  std::string audio_folder = JoinPath(page_folder_, "audio");
  std::error_code ec;
  fs::create_directories(audio_folder, ec);
  // A failed copy does not stop the others, but it is reported: the page
  // has already been edited and would look for a file that is not there.
  std::vector<std::string> failures;
  auto copy = [&](const std::string& from, const std::string& to) -> bool {
    if (Cancelled()) return false;
    progress_.ReportTransferring(from, page_folder_);
    std::string reason;
    if (!CopyOver(from, to, &reason)) failures.push_back(from + " -> " + to + ": " + reason);
    return true;
  };
  for (int m = 0; m < combinations_; ++m) {
    const std::string& entrance = state_.converted_entrance[m];
    if (!copy(entrance, JoinPath(audio_folder, FileNameOfPath(entrance))))
      return Stop(RunOutcome::End::kCancelled);
    const std::string& exit = state_.converted_exit[m];
    if (!copy(exit, JoinPath(audio_folder, FileNameOfPath(exit))))
      return Stop(RunOutcome::End::kCancelled);
    if (!options_.no_background) {
      const std::string& background = state_.converted_background[m];
      if (!copy(background, JoinPath(audio_folder, FileNameOfPath(background))))
        return Stop(RunOutcome::End::kCancelled);
    }
  }
  if (!copy(paths_.applet_class_path,
            JoinPath(page_folder_, FileNameOfPath(paths_.applet_class_path))))
    return Stop(RunOutcome::End::kCancelled);
  // The page loads the player by this name, whatever the install calls it.
  if (options_.browser_player &&
      !copy(paths_.player_script_path, JoinPath(page_folder_, kPlayerScriptFileName)))
    return Stop(RunOutcome::End::kCancelled);
  if (Cancelled()) return Stop(RunOutcome::End::kCancelled);
  progress_.ReportTransferring(resource_file_name_, page_folder_);
  std::string reason;
  std::string resource_from = JoinPath(paths_.cache_folder, resource_file_name_);
  std::string resource_to = JoinPath(page_folder_, resource_file_name_);
  if (!CopyOver(resource_from, resource_to, &reason))
    failures.push_back(resource_from + " -> " + resource_to + ": " + reason);
  if (options_.browser_player) {
    Status written = WritePlayerFiles(page_folder_, ResourceBaseName(page_file_name_),
                                      resource_from, BrowserSoundsOf(ConvertedOfRun()), true);
    if (!written.ok()) failures.push_back(written.message());
  }
  if (!failures.empty()) {
    ui_.Tell(BoxStyle::kSystemModal, CopyFailedMessage(failures));
    return BackTo(ReturnPage::kSelectHtmlFile, 1);
  }
  return std::nullopt;
}

void PipelineRun::Finishing() {
  progress_.SetStatusText("All Done.");
  progress_.SetFixedProgress(100);
  Pause(500);
  if (services_.write_history) services_.write_history(HistoryOfRun(page_, sounds_, options_));
  if (services_.beep) services_.beep();
}

}  // namespace sonavelt::run
