#include "app/wizard_flow.h"

#include <utility>

#include "app/help_ids.h"
#include "base/file_io.h"
#include "base/text.h"
#include "run/sound_files.h"
#include "run/startup.h"

namespace sonavelt::app {
namespace {

std::string PageCaption(WizardPage page) {
  switch (page) {
    case WizardPage::kSelectHtmlFile: return "Sonavelt - Select HTML File";
    case WizardPage::kOptionSettings: return "Sonavelt - Option Settings";
    case WizardPage::kEntranceSound: return "Sonavelt - Select Sound for Entrance Event";
    case WizardPage::kExitSound: return "Sonavelt - Select Sound for Exit Event";
    case WizardPage::kBackgroundSound: return "Sonavelt - Select Background Sound";
    case WizardPage::kInProgress: return "Sonavelt In Progress";
  }
  return "Sonavelt";
}

}  // namespace

bool IsSoundPage(WizardPage page) {
  return page == WizardPage::kEntranceSound || page == WizardPage::kExitSound ||
         page == WizardPage::kBackgroundSound;
}

bool LocateRequiredFile(std::string& path, const std::string& required_name,
                        const std::string& install_folder, UserInterface& ui, FileChooser& chooser) {
  if (!file_io::IsReadableFile(path)) {
    ui.Tell(BoxStyle::kPlain, required_name + " was not found.\r\n" + "Find it?");
    std::string chosen = chooser.ChooseFile(install_folder);
    if (chosen.empty()) return false;
    path = chosen;
  }
  std::string name = file_io::IsReadableFile(path) ? FileNameOfPath(path) : std::string();
  while (name != required_name) {
    const bool again = ui.AskAs(
        QuestionKind::kOkCancel, BoxStyle::kPlain, path + "\r\nis not " + required_name + "\r\n\r\n" +
                              "Sonavelt cannot complete without " + required_name +
                              "\r\nWould you please find " + required_name + " again?");
    if (!again) return false;
    std::string chosen = chooser.ChooseFile(install_folder);
    if (!chosen.empty()) {
      path = chosen;
      name = FileNameOfPath(chosen);
    }
  }
  return true;
}

WizardFlow::WizardFlow(WizardChoices& choices, run::StoredHistory stored, UserInterface& ui)
    : choices_(choices), ui_(ui), request_(choices, std::move(stored)) {
  ShowPage(WizardPage::kSelectHtmlFile);
}

std::string RemotePageText(const run::PageTarget& page) {
  std::string site = page.remote_site;
  const uint16_t default_port =
      page.remote_scheme == "ftps" ? 990 : page.remote_scheme == "sftp" ? 22 : 21;
  if (page.remote_port != 0 && page.remote_port != default_port) {
    // An IPv6 address keeps its own colons apart from the port's.
    if (site.find(':') != std::string::npos) site = "[" + site + "]";
    site += ":" + std::to_string(page.remote_port);
  }
  return site + ":" + page.remote_path;
}

bool WizardFlow::OnLastPage() const {
  const int n = choices_.sounds.combination_count;
  if (combination_ != n) return false;
  if (page_ == WizardPage::kBackgroundSound) return true;
  return page_ == WizardPage::kExitSound && choices_.options.no_background;
}

PageView WizardFlow::View() const {
  PageView view;
  view.page = page_;
  view.caption = PageCaption(page_);
  const run::PageTarget& target = choices_.page;
  const int n = choices_.sounds.combination_count;
  const std::string page_name =
      FileNameOfPath(target.is_remote ? target.remote_path : target.local_html_path);
  const std::string of_n = "(No. " + DecimalText(combination_) + " of " + DecimalText(n) + ")";
  const size_t index = static_cast<size_t>(combination_ - 1);
  auto entry = [index](const std::vector<std::string>& list) {
    return index < list.size() ? list[index] : std::string();
  };

  view.back_live = page_ != WizardPage::kSelectHtmlFile;
  view.start_button = OnLastPage();
  switch (page_) {
    case WizardPage::kSelectHtmlFile:
      view.field_label = "&Selected HTML File";
      view.path_text = target.is_remote ? RemotePageText(target) : target.local_html_path;
      view.count_value = n;
      view.help_context = help::kSelectHtmlFilePage;
      view.label_context = help::kHtmlFileLabel;
      view.field_context = help::kHtmlFileField;
      break;
    case WizardPage::kOptionSettings:
      view.field_label = "Absolute &URL for " + page_name + ":";
      view.path_text = choices_.options.page_url;
      view.help_context = help::kOptionSettingsPage;
      view.label_context = help::kPageUrlLabel;
      view.field_context = help::kPageUrlField;
      break;
    case WizardPage::kEntranceSound:
      view.field_label = "&Selected Audio File for Entrance Event    " + of_n;
      view.path_text = entry(choices_.sounds.entrance_sounds);
      view.help_context = help::kEntranceSoundPage;
      view.label_context = help::kEntranceSoundLabel;
      view.field_context = help::kEntranceSoundField;
      break;
    case WizardPage::kExitSound:
      view.field_label = "&Selected Audio File for Exit Event    " + of_n;
      view.path_text = entry(choices_.sounds.exit_sounds);
      view.help_context = view.start_button ? help::kExitSoundLastPage : help::kExitSoundPage;
      view.label_context = help::kExitSoundLabel;
      view.field_context = help::kExitSoundField;
      break;
    case WizardPage::kBackgroundSound:
      view.field_label = "&Selected Audio File for Background Sound  " + of_n;
      view.path_text = entry(choices_.sounds.background_sounds);
      view.help_context =
          view.start_button ? help::kBackgroundSoundLastPage : help::kBackgroundSoundPage;
      view.label_context = help::kBackgroundSoundLabel;
      view.field_context = help::kBackgroundSoundField;
      break;
    case WizardPage::kInProgress:
      view.back_live = false;
      break;
  }
  if (IsSoundPage(page_)) {
    view.go_to_live = n >= 2;
    view.go_to_max = n;
    view.go_to_value = combination_ == n ? 1 : combination_ + 1;
  }
  return view;
}

void WizardFlow::ShowPage(WizardPage page) {
  page_ = page;
  if (page == WizardPage::kOptionSettings) request_.ShowOptions();
}

bool WizardFlow::CheckSound(const std::string& text) {
  if (const Status safe = run::CheckListSafePath(text, "audio"); !safe.ok()) {
    Show(ui_, safe);
    return false;
  }
  const Status named = run::CheckSoundPath(text);
  Show(ui_, named);
  return named.ok();
}

void WizardFlow::StoreSound(const std::string& text) {
  std::vector<std::string>* list = nullptr;
  switch (page_) {
    case WizardPage::kEntranceSound: list = &choices_.sounds.entrance_sounds; break;
    case WizardPage::kExitSound: list = &choices_.sounds.exit_sounds; break;
    case WizardPage::kBackgroundSound: list = &choices_.sounds.background_sounds; break;
    default: return;
  }
  const size_t index = static_cast<size_t>(combination_ - 1);
  if (list->size() <= index) list->resize(index + 1);
  (*list)[index] = text;
}

WizardFlow::Step WizardFlow::Next(const std::string& path_text, const std::string& count_text) {
  switch (page_) {
    case WizardPage::kSelectHtmlFile: {
      run::FirstPageField refused = run::FirstPageField::kPage;
      const Status first = request_.LeaveFirstPage(path_text, count_text, &refused);
      if (!first.ok()) {
        Show(ui_, first);
        return {false, refused == run::FirstPageField::kCount ? FocusField::kCount
                                                              : FocusField::kPath};
      }
      ShowPage(WizardPage::kOptionSettings);
      return {true, FocusField::kPath};
    }
    case WizardPage::kOptionSettings:
      if (const Status url = request_.LeaveOptionsPage(path_text, ui_); !url.ok()) {
        Show(ui_, url);
        return {false, FocusField::kPath};
      }
      ShowPage(WizardPage::kEntranceSound);
      return {true, FocusField::kPath};
    case WizardPage::kEntranceSound:
    case WizardPage::kExitSound:
    case WizardPage::kBackgroundSound: {
      if (OnLastPage()) return {false, FocusField::kPath};  // the start button's job
      if (!CheckSound(path_text)) return {false, FocusField::kPath};
      StoreSound(path_text);
      WizardPage next = WizardPage::kEntranceSound;
      if (page_ == WizardPage::kEntranceSound) {
        next = WizardPage::kExitSound;
      } else if (page_ == WizardPage::kExitSound && !choices_.options.no_background) {
        next = WizardPage::kBackgroundSound;
      } else {
        ++combination_;
      }
      ShowPage(next);
      return {true, FocusField::kPath};
    }
    case WizardPage::kInProgress:
      break;
  }
  return {false, FocusField::kPath};
}

WizardFlow::Step WizardFlow::Back(const std::string& path_text) {
  switch (page_) {
    case WizardPage::kOptionSettings:
      request_.KeepOptions(path_text);
      ShowPage(WizardPage::kSelectHtmlFile);
      return {true, FocusField::kPath};
    case WizardPage::kEntranceSound:
      StoreSound(path_text);
      if (combination_ > 1) {
        --combination_;
        ShowPage(choices_.options.no_background ? WizardPage::kExitSound
                                                : WizardPage::kBackgroundSound);
      } else {
        ShowPage(WizardPage::kOptionSettings);
      }
      return {true, FocusField::kPath};
    case WizardPage::kExitSound:
      StoreSound(path_text);
      ShowPage(WizardPage::kEntranceSound);
      return {true, FocusField::kPath};
    case WizardPage::kBackgroundSound:
      StoreSound(path_text);
      ShowPage(WizardPage::kExitSound);
      return {true, FocusField::kPath};
    case WizardPage::kSelectHtmlFile:
    case WizardPage::kInProgress:
      break;
  }
  return {false, FocusField::kPath};
}

WizardFlow::Step WizardFlow::GoTo(const std::string& path_text, const std::string& go_to_text) {
  const int n = choices_.sounds.combination_count;
  if (!IsSoundPage(page_) || n < 2) return {false, FocusField::kPath};
  const run::CountCheck target = run::CheckGoToNumber(go_to_text, n);
  if (!target.ok) {
    ui_.Tell(BoxStyle::kPlain, target.message);
    return {false, FocusField::kGoTo};
  }
  StoreSound(path_text);
  combination_ = target.count;
  ShowPage(page_);
  return {true, FocusField::kPath};
}

WizardFlow::Step WizardFlow::Start(const std::string& path_text, FileChooser& chooser) {
  if (!OnLastPage()) return {false, FocusField::kPath};
  if (!CheckSound(path_text)) return {false, FocusField::kPath};
  StoreSound(path_text);
  if (!LocateRequiredFile(choices_.paths.applet_class_path, run::kAppletClassFileName,
                          choices_.paths.install_folder, ui_, chooser)) {
    return {false, FocusField::kPath};
  }
  if (choices_.options.browser_player &&
      !LocateRequiredFile(choices_.paths.player_script_path, run::kPlayerScriptFileName,
                          choices_.paths.install_folder, ui_, chooser)) {
    return {false, FocusField::kPath};
  }
  start_page_ = page_;
  ShowPage(WizardPage::kInProgress);
  return {true, FocusField::kPath};
}

run::PlayerPosition WizardFlow::player_position() const {
  return choices_.options.player_position;
}

void WizardFlow::ChoosePlayerPosition(run::PlayerPosition position) {
  choices_.options.player_position = position;
}

void WizardFlow::ClickOption(run::OptionBoxId box, bool checked) {
  if (page_ != WizardPage::kOptionSettings) return;
  request_.ClickOption(box, checked);
}

void WizardFlow::ChooseLocalPage(const std::string& path) {
  choices_.page.local_html_path = path;
  choices_.page.is_remote = false;
}

std::string WizardFlow::LocalPageDialogStart(const std::string& path_text) {
  if (!choices_.page.is_remote) choices_.page.local_html_path = path_text;
  const std::string& page = choices_.page.local_html_path;
  return file_io::IsReadableFile(page) ? page : choices_.paths.install_folder;
}

std::string WizardFlow::SoundDialogFolder() const {
  const std::vector<std::string>* list = nullptr;
  switch (page_) {
    case WizardPage::kEntranceSound: list = &choices_.sounds.entrance_sounds; break;
    case WizardPage::kExitSound: list = &choices_.sounds.exit_sounds; break;
    case WizardPage::kBackgroundSound: list = &choices_.sounds.background_sounds; break;
    default: return choices_.paths.install_folder;
  }
  const size_t index = static_cast<size_t>(combination_ - 1);
  if (index < list->size() && file_io::IsReadableFile((*list)[index])) {
    const std::string& current = (*list)[index];
    const size_t slash = current.rfind('/');
    if (slash != std::string::npos) return current.substr(0, slash);
  }
  return choices_.paths.install_folder;
}

void WizardFlow::ReturnToPage(WizardPage page, int combination) {
  combination_ = combination;
  ShowPage(page);
}

void WizardFlow::ReturnToStartPage() { ShowPage(start_page_); }

void WizardFlow::Restart() {
  combination_ = 1;
  ShowPage(WizardPage::kSelectHtmlFile);
}

}  // namespace sonavelt::app
