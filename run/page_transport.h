#pragma once

#include <string>
#include <vector>

#include "run/run_inputs.h"
#include "run/run_progress.h"
#include "run/run_state.h"

// Where a remote page comes from and where the run's files go back to: the
// seam between the run and the remote site's sessions. A local page needs
// none of it.
namespace sonavelt::run {

// The files of a run to put beside a remote page, in upload order after the
// page itself.
struct PublishFiles {
  std::string page_path;                 // the edited local copy of the page
  std::vector<std::string> sounds;       // converted sounds, one per use, into "audio/"
  std::vector<std::string> sound_copies; // the browser player's copies, each once, into "audio/"
  std::string applet_class_path;
  std::string player_script_path;        // beside the page too; empty without the browser player
  std::string resource_path;
  // The browser player's data files, beside the page after the resource file.
  std::vector<std::string> player_data_paths;
};

class PageTransport {
 public:
  virtual ~PageTransport() = default;
  // Downloads page.remote_path into `local_path`. False when the run must
  // end (the user has been told why).
  virtual bool FetchPage(const PageTarget& page, const std::string& local_path,
                         RunProgress& progress, RunState& state) = 0;
  // Uploads the page and the files beside it, the page last, reporting each
  // transfer but those of the browser player's copies and data files.
  // False when the run must end (the user has been told why).
  virtual bool PublishPage(const PageTarget& page, const PublishFiles& files,
                           RunProgress& progress, RunState& state) = 0;
};

}  // namespace sonavelt::run
