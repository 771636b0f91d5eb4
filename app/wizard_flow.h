#pragma once

#include <cstdint>
#include <string>

#include "base/user_interface.h"
#include "run/choice_rules.h"
#include "run/run_history.h"
#include "run/run_inputs.h"
#include "run/run_request.h"

// The wizard's page flow without a screen: which page follows which, what
// each page shows, and the checks made when a page is left. The window draws
// what View() says and hands every button to this model; tests drive it
// directly.
namespace sonavelt::app {

// The pages in their order; the values are the page numbers the run uses
// when it sends the wizard back.
enum class WizardPage {
  kSelectHtmlFile = 1,
  kOptionSettings = 2,
  kEntranceSound = 3,
  kExitSound = 4,
  kBackgroundSound = 5,
  kInProgress = 100,
};

bool IsSoundPage(WizardPage page);

// What the wizard collects and the run reads: the run's request. Lives as
// long as the wizard; the run gets a copy when it starts.
using WizardChoices = run::RunRequest;

// A remote page as the path field shows it: "host:/path", or
// "host:port:/path" when the server's port is not its scheme's default
// (21; 990 for ftps, 22 for sftp).
std::string RemotePageText(const run::PageTarget& page);

// The field that gets the focus, with its whole text selected, after a step.
enum class FocusField { kPath, kCount, kGoTo };

// What a page shows.
struct PageView {
  WizardPage page = WizardPage::kSelectHtmlFile;
  std::string caption;       // window caption
  std::string field_label;   // label above the path field; "&" marks the mnemonic
  std::string path_text;     // the path field's text
  bool back_live = false;    // "< &Back" live, else shown disabled
  bool start_button = false; // "&Sonavelt" in place of "&Next >"
  int count_value = 0;       // the number of combinations (SelectHtmlFile)
  bool go_to_live = false;   // the Go To group (sound pages)
  int go_to_max = 0;
  int go_to_value = 0;       // the next combination
  // Help contexts (help_ids.h): the page's topic, the field label's and the
  // path field's.
  uint32_t help_context = 0;
  uint32_t label_context = 0;
  uint32_t field_context = 0;
};

// Asks the user for a file (an open-file dialog); the answer is empty when
// the user cancels.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::string ChooseFile(const std::string& start_folder) = 0;
};

// Makes sure path names an existing file called exactly required_name
// (letter case counts), asking the user to find it when it does not; path
// becomes the file the user chose. False when the user gave up.
bool LocateRequiredFile(std::string& path, const std::string& required_name,
                        const std::string& install_folder, UserInterface& ui, FileChooser& chooser);

class WizardFlow {
 public:
  // choices and ui must outlive the flow. stored: the stored history, whose
  // sound lists fill the lists the first time the count is set.
  WizardFlow(WizardChoices& choices, run::StoredHistory stored, UserInterface& ui);

  WizardPage page() const { return page_; }
  int combination() const { return combination_; }
  PageView View() const;
  // The last page is the one with the start button.
  bool OnLastPage() const;

  // Each step answers true when the page changed; after a refusal the page
  // stays and focus names the field to focus.
  struct Step {
    bool moved = false;
    FocusField focus = FocusField::kPath;
  };
  // path_text: the path field. count_text: the number-of-combinations field
  // (only read on SelectHtmlFile).
  Step Next(const std::string& path_text, const std::string& count_text);
  // Stores the path field without checking it and moves back.
  Step Back(const std::string& path_text);
  // Go To on a sound page: go_to_text is the Go To number field.
  Step GoTo(const std::string& path_text, const std::string& go_to_text);
  // The start button: the sound check, then the applet class file check.
  // On success the page is InProgress and the caller starts the run.
  Step Start(const std::string& path_text, FileChooser& chooser);
  // The options page's boxes as shown (set when the page is shown).
  const run::OptionBoxes& option_boxes() const { return request_.option_boxes(); }
  void ClickOption(run::OptionBoxId box, bool checked);
  // Where the browser player's control stands (the options page's list).
  run::PlayerPosition player_position() const;
  void ChoosePlayerPosition(run::PlayerPosition position);

  // Where "&Local Machine" opens its file dialog: the page itself when it
  // exists, else the install folder. In local mode the path field's text is
  // taken as the page first.
  std::string LocalPageDialogStart(const std::string& path_text);
  // A local page picked with the file dialog.
  void ChooseLocalPage(const std::string& path);
  // Where "Select &Different File" opens its file dialog: the folder of the
  // current combination's sound when that exists, else the install folder.
  std::string SoundDialogFolder() const;

  // The run sends the wizard back to a page after a failed check.
  void ReturnToPage(WizardPage page, int combination);
  // After a run, "&YES": the first page again, choices kept.
  void Restart();
  // After a run the user stopped: the page "Sonavelt" was pressed on.
  void ReturnToStartPage();

 private:
  void ShowPage(WizardPage page);
  void StoreSound(const std::string& text);
  bool CheckSound(const std::string& text);

  WizardChoices& choices_;
  UserInterface& ui_;
  // The first two pages' rules, shared with the command line.
  run::RequestBuilder request_;
  WizardPage page_ = WizardPage::kSelectHtmlFile;
  int combination_ = 1;
  WizardPage start_page_ = WizardPage::kSelectHtmlFile;  // the page a run started from
};

}  // namespace sonavelt::app
