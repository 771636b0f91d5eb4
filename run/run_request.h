#pragma once

#include <memory>
#include <string>

#include "base/status.h"
#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "run/choice_rules.h"
#include "run/run_history.h"
#include "run/run_inputs.h"
#include "run/sound_lists.h"

// The request a run is made from, built one way for both front ends: the
// start-up (install folder, its paths, the last run's choices), the first
// page (the page and the number of combinations) and the options page. The
// wizard drives it page by page; the command line drives it with its
// arguments, as if its pages were left as they are after a few clicks. So
// the two accept and refuse the same input with the same words.
namespace sonavelt::run {

class SettingsStore;
class WorkFolder;

// What a run is made from.
struct RunRequest {
  PageTarget page;
  SoundSet sounds;
  RunOptions options;
  InstallPaths paths;
  // How a remote page's site is reached: the login, keys and certificates
  // of the page picked last (an endpoint without a server takes the page's
  // site). It holds the password: never print or store it.
  remote::FtpEndpoint site;
};

// What the program starts from.
struct StartUp {
  RunRequest request;   // paths.cache_folder is empty: see OpenWorkFolder
  StoredHistory stored; // the last completed run, whose sound lists fill
                        // the lists the first time the count is set
};

// The install folder is `install_folder` when given, else ChooseInstallFolder
// of the stored "AppPath", the program's folder and the current folder; its
// paths (MakeInstallPaths) and the choices of the last completed run
// (ChoicesFromHistory) follow.
StartUp LoadStartUp(const SettingsStore& store, const std::string& install_folder = "");

// The session's private work folder (MakeSessionWorkFolder; those of killed
// sessions go first), put into paths.cache_folder. A folder that cannot be
// made is refused with WorkFolderFailedMessage (system-modal).
Status OpenWorkFolder(InstallPaths& paths, std::unique_ptr<WorkFolder>* folder);

// The field a refusal on the first page is about.
enum class FirstPageField { kPage, kCount };

class RequestBuilder {
 public:
  // request must outlive the builder.
  RequestBuilder(RunRequest& request, StoredHistory stored);

  // Leaving the first page: a local page is checked (CheckLocalPagePath) and
  // becomes the page; a remote one was checked when it was chosen. Then the
  // number of combinations (CheckCombinationCount, its refusal a plain box),
  // which sizes the sound lists. *refused names the field of a refusal.
  Status LeaveFirstPage(const std::string& page_text, const std::string& count_text,
                        FirstPageField* refused);

  // The options page as shown for the current options (ShowOptions), and a
  // click on one of its boxes (ClickOption).
  void ShowOptions();
  const OptionBoxes& option_boxes() const { return boxes_; }
  void ClickOption(OptionBoxId box, bool checked);
  // Back on the options page: the URL field and the boxes are kept
  // unchecked (ReadOptions).
  void KeepOptions(const std::string& url_text);
  // Next on the options page: KeepOptions, then CheckPageUrl.
  Status LeaveOptionsPage(const std::string& url_text, Questions& questions);

 private:
  RunRequest& request_;
  StoredHistory stored_;
  SoundListSizer sizer_;
  OptionBoxes boxes_;
};

// The install folder's files a run copies beside the page: the applet class
// file, and the browser player when the options ask for it. A missing one is
// refused with AppletClassMissingMessage or PlayerScriptMissingMessage
// (system-modal). The wizard lets the user find them instead.
Status CheckInstallFiles(const RunRequest& request);

}  // namespace sonavelt::run
