#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/folder_io.h"
#include "base/user_interface.h"
#include "run/audio_placement.h"
#include "run/browser_copies.h"
#include "run/disk_space.h"
#include "run/local_page_transfer.h"
#include "run/player_data.h"
#include "run/progress_panel.h"
#include "run/resource_text.h"
#include "run/run_history.h"
#include "run/run_inputs.h"
#include "run/run_progress.h"
#include "run/sound_work.h"
#include "run/stop_request.h"
#include "run/target_lock.h"
#include "run/work_folder.h"
#include "transport/page_transport.h"

// One run: the chosen sounds are checked and converted, the page gets the
// sound applet block, the resource file and the settings page are written,
// and everything the page needs is copied (or uploaded) beside it. The run
// goes through its phases once, in order, reporting to a ProgressPanel, and
// ends in one of the ways of RunOutcome; it never ends the program itself.
//
// A run is a transaction. It holds the lock of its page (TargetLock) from
// start to end, so a second run on the page waits (RunServices::lock_wait)
// and then stops with a message. It works in a private folder of its own
// (a WorkFolder in InstallPaths::cache_folder, else in the user's cache
// folder), removed when the run ends. It makes every file once, the sounds
// and their browser copies in that folder and the page and the small text
// files in memory, and then hands the page's transport (page_transport.h)
// the list to place: a site's (RunServices::transport) or, for a page on
// this machine, a LocalPageTransfer of the run's own. The page is placed
// last: before it, any failure or stop leaves the page byte for byte as it
// was and the message lists what was put beside it.
namespace sonavelt::run {

// The wizard page a stopped run sends the user back to.
enum class ReturnPage { kSelectHtmlFile, kEntranceSound, kExitSound, kBackgroundSound };

struct RunOutcome {
  enum class End {
    kCompleted,     // all done, history stored
    kSentBack,      // a check failed or the user stopped: go back to `page`
    kUnusablePage,  // the page's BODY tag cannot be read (or the site refused
                    // the run): the program ends after the message
    kCancelled,     // the user's quit request was seen at a checkpoint
  };
  End end = End::kCompleted;
  ReturnPage page = ReturnPage::kSelectHtmlFile;
  int combination = 1;  // 1-based, for kSentBack
  // What the run has to tell about its end (why it stopped, what it left
  // beside the page), for the front end to show in its box as soon as the
  // run returns; ok() when there is nothing to tell.
  Status message;
  // A local page whose BODY tag cannot be read (kUnusablePage): the front
  // end shows it to the user for editing after the message (the wizard
  // opens a text editor and waits); empty otherwise.
  std::string broken_page;
};

// What a front end lends the run besides its inputs. Everything but `sounds`
// has a working default.
struct RunServices {
  SoundWork* sounds = nullptr;             // required
  PageTransport* transport = nullptr;      // required for remote pages
  // Free bytes of the file system holding a folder (the run's work folder,
  // the page's folder).
  std::function<uint64_t(const std::string& folder)> free_space;  // default FreeSpaceOf
  // How long a run waits for another run on the same page before it stops.
  std::chrono::milliseconds lock_wait{30000};
  // Where the page locks live; empty: LockFolder().
  std::string lock_folder;
  // The run's short pauses after "Transferring finished." (1000 ms) and
  // "All Done." (500 ms), which let the wizard's panel be read; empty: none.
  std::function<void(int milliseconds)> pause;
  // A short sound at the end of a completed run; empty: none.
  std::function<void()> beep;
  // Stores the choices of a completed run; empty: not stored.
  std::function<void(const StoredHistory&)> write_history;
  // Shows a warning the run goes on after (the page's background colour
  // cannot be read, so the player gets white), or a message that comes
  // before the run's own (why a sound could not be converted), while the
  // run waits; the front ends show it as any message. Empty: not shown.
  std::function<void(const Status& warning)> show_warning;
};

// What checking a run's sounds measured, each distinct sound once: the
// disk check sizes the work folder and the page's folder by it.
struct CheckedSounds {
  uint64_t bytes = 0;
  int wave_file_count = 0;
  int64_t max_frames = 0;  // the longest sound's sample frames
  std::vector<SoundMeasure> measures;
};

class PipelineRun {
 public:
  // The references must outlive the run. The run only reads `stop`, at its
  // checkpoints and in the work it starts. `questions` is asked what the
  // run itself must ask while it works (low disk space); the sound work
  // asks its own (a format change).
  PipelineRun(const PageTarget& page, const SoundSet& sounds, const RunOptions& options,
              const InstallPaths& paths, Questions& questions, ProgressPanel& panel,
              const StopRequest& stop, RunServices services);

  // Performs the whole run once. Its own messages come back in the
  // outcome (RunOutcome::message); the run shows none itself.
  RunOutcome Run();

  // Results of the last Run(), for the front end's report.
  const std::string& page_folder() const { return page_folder_; }
  const std::string& resource_file_name() const { return resource_file_name_; }
  uint64_t sound_bytes() const { return sound_bytes_; }
  int wave_file_count() const { return wave_file_count_; }
  // The settings page the run wrote (for the browser button); empty until
  // the run gets that far.
  const std::string& settings_page() const { return settings_page_; }

 private:
  using Step = std::optional<RunOutcome>;  // nullopt: go on
  // What a phase hands the phases after it, or how the run ends in it.
  template <typename Result>
  struct PhaseResult {
    PhaseResult(Result value) : result(std::move(value)) {}
    PhaseResult(RunOutcome outcome) : end(std::move(outcome)) {}
    Step end;       // set: the run ends here
    Result result;  // when end is not set
  };

  bool Cancelled() const;
  // The page as the transport knows it.
  RemotePage Where() const;
  // The phases, in order; the run ends at the first that answers an outcome.
  Step Phases();
  Step Beginning();
  // The fixed names the run places beside the page.
  std::vector<std::string> NamesBesidePage() const;
  PhaseResult<CheckedSounds> Preparing();
  Step PrepareSound(int j, int role, const std::string& path, FormatAnswers& answers,
                    CheckedSounds* checked);
  // Whether the work folder and the page's folder have room for the run.
  Step CheckingRoom(const CheckedSounds& checked);
  // The .au path of each sound of the run in its work folder, and the
  // entrance sounds' playing times.
  PhaseResult<ConvertedSounds> Converting();
  CopyProgress CopyProgressReporter();
  // The sounds' final names in audio/ beside the page, as the transport
  // claims them; the work files take those names, and *sounds_made the
  // work files' new paths.
  Step PlacingSounds(ConvertedSounds* sounds_made);
  Step Retrieving();
  Step ReadingPage();
  Step Processing();
  Step CreatingResourceFile(const ConvertedSounds& converted);
  // A settings page that cannot be written is a warning: the page is
  // complete by then.
  void WritingSettingsPage(const ConvertedSounds& converted);
  Step Transferring(const ConvertedSounds& converted);
  Step ListFilesBesidePage(const ConvertedSounds& converted, PublishFiles* files);
  // The BODY edit an earlier run recorded in the page's data file; empty
  // when there is none.
  std::string EarlierBodyEditRecord();
  void KeepEarlierCopies(std::vector<BrowserSound>* sounds) const;
  // Back to the first page: `why`, and that nothing was put beside the page.
  RunOutcome NothingPlaced(const std::string& why) const;
  // A failed fetch or publish: the transport's message; back to the first
  // page when the transport lets the user try again, else the run ends.
  RunOutcome TransportFailed(Status status) const;
  void Finishing();
  void Pause(int milliseconds);
  RunOutcome BackTo(ReturnPage page, int combination) const;
  // Back to the first page, with `message` to show.
  RunOutcome BackToStart(Status message) const;
  RunOutcome Stop(RunOutcome::End end) const;

  const PageTarget& page_;
  const SoundSet& sounds_;
  const RunOptions& options_;
  const InstallPaths& paths_;
  Questions& questions_;
  const StopRequest& stop_;
  RunServices services_;
  RunProgress progress_;

  int combinations_;
  // The page's transport for this run: services_.transport, or local_.
  PageTransport* transport_ = nullptr;
  std::unique_ptr<LocalPageTransfer> local_;
  std::string shown_page_;       // the page in messages: its path here or on the site
  std::string body_error_name_;  // the page in the BODY tag's error
  std::string editable_page_;    // a page here, for the user to mend; empty on a site
  std::string page_file_name_;
  std::string resource_file_name_;
  std::string page_folder_;  // the page's folder here; empty on a site
  std::unique_ptr<WorkFolder> run_folder_;
  TargetLock lock_;
  BrowserCopies browser_copies_;        // made while converting
  std::vector<PlacedFile> audio_files_;  // what goes into audio/, final names
  std::string page_text_;
  std::string edited_page_;
  std::string resource_bytes_;  // the resource file, encoded
  std::string page_colour_;
  // What the run that first put the block in did to BODY
  // (html::BodyEditName), recorded in the data file; empty: not known.
  std::string first_run_body_edit_;
  std::string background_image_;
  uint64_t sound_bytes_ = 0;
  int wave_file_count_ = 0;
  std::string settings_page_;
};

// True when `path` equals, byte for byte, one of entries 0 .. j-1 of `list`.
bool IsAlreadyCounted(const std::string& path, const std::vector<std::string>& list, int j);

}  // namespace sonavelt::run
