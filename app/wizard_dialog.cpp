#include "app/wizard_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QVBoxLayout>
#include <QWhatsThis>
#include <atomic>
#include <new>
#include <thread>

#include "app/about_dialog.h"
#include "app/again_dialog.h"
#include "app/app_resources.h"
#include "app/help_system.h"
#include "app/page_widgets.h"
#include "app/qt_progress_panel.h"
#include "app/qt_status_line.h"
#include "app/remote_page_chooser.h"
#include "app/sound_preview.h"
#include "app/window_parts.h"
#include "run/choice_rules.h"
#include "run/page_removal.h"
#include "run/run_launcher.h"
#include "run/run_messages.h"

namespace sonavelt::app {
namespace {

constexpr int kBannerHeight = 72;
constexpr char kQuitQuestion[] = "Do you really want to quit Sonavelt?";
constexpr char kStopQuestion[] =
    "Do you really want to stop this run?\r\nA stopped run leaves the page as it was.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

WizardPage PageOf(run::ReturnPage page) {
  switch (page) {
    case run::ReturnPage::kSelectHtmlFile: return WizardPage::kSelectHtmlFile;
    case run::ReturnPage::kEntranceSound: return WizardPage::kEntranceSound;
    case run::ReturnPage::kExitSound: return WizardPage::kExitSound;
    case run::ReturnPage::kBackgroundSound: return WizardPage::kBackgroundSound;
  }
  return WizardPage::kSelectHtmlFile;
}

}  // namespace

WizardDialog::WizardDialog(WizardChoices& choices, run::StoredHistory stored,
                           WizardServices services, QWidget* parent)
    : QDialog(parent),
      choices_(choices),
      services_(std::move(services)),
      flow_(choices, std::move(stored), *services_.ui) {
  setWindowIcon(ProgramIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, true);
  BuildWindow();
  BuildActions();

  start_sound_timer_.setSingleShot(true);
  start_sound_timer_.setInterval(kStartSoundDelayMs);
  connect(&start_sound_timer_, &QTimer::timeout, this, &WizardDialog::OnStartSoundTimer);
  ShowPage();
}

WizardDialog::~WizardDialog() {
  if (run_thread_) {
    // Only reached when the program is torn down mid-run: stop the run at
    // its next checkpoint and let it finish.
    // Its calls into the window still need this thread, so keep serving
    // them while waiting.
    stop_.Request();
    while (!run_thread_->wait(50)) QCoreApplication::processEvents();
  }
}

int WizardDialog::Run() {
  // QDialog::exec() would end its loop as soon as the window hides, which
  // the after-run step does; this loop ends only when the dialog is done.
  setModal(false);
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  raise();
  activateWindow();
  loop.exec(QEventLoop::DialogExec);
  return result();
}

void WizardDialog::BuildWindow() {
  banner_ = new BannerStrip(BannerPixmap(kBannerHeight), kBannerHeight, this);

  // A long page name shortens the label instead of widening the window.
  field_label_ = new ElidedLabel(this);
  path_edit_ = new QLineEdit(this);
  field_label_->setBuddy(path_edit_);

  select_ = new SelectHtmlFileControls(this);
  options_ = new OptionSettingsControls(this);
  sound_ = new SoundControls(this);
  progress_ = new ProgressControls(this);
  stack_ = new QStackedWidget(this);
  for (QWidget* page : {static_cast<QWidget*>(select_), static_cast<QWidget*>(options_),
                        static_cast<QWidget*>(sound_), static_cast<QWidget*>(progress_)}) {
    stack_->addWidget(page);
  }

  separator_ = new QFrame(this);
  separator_->setFrameShape(QFrame::HLine);
  separator_->setFrameShadow(QFrame::Sunken);

  button_row_ = new QWidget(this);
  help_button_ = new QPushButton(QStringLiteral("&Help"), button_row_);
  close_button_ = new QPushButton(QStringLiteral("&Close"), button_row_);
  back_button_ = new QPushButton(QStringLiteral("< &Back"), button_row_);
  next_button_ = new QPushButton(QStringLiteral("&Next >"), button_row_);
  // Enter is the wizard's own (OnEnterKey), not a default button's.
  for (QPushButton* button : {help_button_, close_button_, back_button_, next_button_}) {
    button->setAutoDefault(false);
    button->setMinimumWidth(88);
  }
  auto* buttons = new QHBoxLayout(button_row_);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->addWidget(help_button_);
  // The FTP status line sits in the row's free space, so that showing it
  // moves nothing.
  ftp_status_ = new QLabel(button_row_);
  ftp_status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  QSizePolicy keep = ftp_status_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  ftp_status_->setSizePolicy(keep);
  ftp_status_->hide();
  buttons->addWidget(ftp_status_, 1);
  buttons->addWidget(close_button_);
  buttons->addSpacing(12);
  buttons->addWidget(back_button_);
  buttons->addWidget(next_button_);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(14, 10, 14, 12);
  body->addWidget(field_label_);
  body->addWidget(path_edit_);
  body->addSpacing(6);
  body->addWidget(stack_, 1);
  body->addWidget(separator_);
  body->addWidget(button_row_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(banner_);
  layout->addLayout(body, 1);

  // One size for every page, so that nothing jumps when the page changes;
  // the user may make the window larger, never too small for a page.
  setSizeGripEnabled(true);
  setMinimumSize(minimumSizeHint());
  resize(QSize(std::max(sizeHint().width(), banner_->sizeHint().width()), sizeHint().height() + 8));

  // Enter belongs to the wizard on every page: no button of a page may look
  // like, or act as, the default.
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);

  connect(help_button_, &QPushButton::clicked, this, &WizardDialog::ShowHelp);
  connect(close_button_, &QPushButton::clicked, this, [this] { QDialog::reject(); });
  connect(back_button_, &QPushButton::clicked, this, &WizardDialog::OnBack);
  connect(next_button_, &QPushButton::clicked, this, [this] {
    if (flow_.OnLastPage()) {
      OnStart();
    } else {
      OnNext();
    }
  });
  connect(select_->local_button(), &QPushButton::clicked, this, &WizardDialog::OnLocalMachine);
  connect(select_->remote_button(), &QPushButton::clicked, this, &WizardDialog::OnRemoteSite);
  connect(select_->remove_button(), &QPushButton::clicked, this, &WizardDialog::OnRemoveSounds);
  connect(options_, &OptionSettingsControls::clicked, this, [this](run::OptionBoxId id, bool checked) {
    flow_.ClickOption(id, checked);
    options_->Show(flow_.option_boxes());
  });
  connect(options_, &OptionSettingsControls::positionChosen, this,
          [this](run::PlayerPosition position) { flow_.ChoosePlayerPosition(position); });
  connect(sound_->browse_button(), &QPushButton::clicked, this, &WizardDialog::OnBrowseSound);
  connect(sound_->play_button(), &QPushButton::clicked, this, &WizardDialog::OnPlay);
  connect(sound_->go_to_button(), &QPushButton::clicked, this, &WizardDialog::OnGoTo);
  connect(progress_->cancel_button(), &QPushButton::clicked, this, &WizardDialog::CancelCommand);
}

remote::StatusLine& WizardDialog::ftp_status_line() {
  if (!ftp_status_line_) ftp_status_line_ = std::make_unique<QtStatusLine>(*ftp_status_, *services_.gate);
  return *ftp_status_line_;
}

void WizardDialog::BuildActions() {
  // Linux window managers have no system menu a program can extend: the
  // same two commands live in the window's context menu, with F1 for help.
  auto* help = new QAction(QStringLiteral("&Help"), this);
  help->setShortcut(QKeySequence::HelpContents);
  help->setShortcutContext(Qt::WindowShortcut);
  connect(help, &QAction::triggered, this, &WizardDialog::ShowHelp);
  auto* about = new QAction(QStringLiteral("&About Sonavelt ...."), this);
  connect(about, &QAction::triggered, this, &WizardDialog::ShowAbout);
  QAction* whats_this = QWhatsThis::createAction(this);

  auto separator = [this] {
    auto* line = new QAction(this);
    line->setSeparator(true);
    return line;
  };
  addActions({help, separator(), about, separator(), whats_this});
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void WizardDialog::ShowPage() {
  const PageView view = flow_.View();
  const bool in_progress = view.page == WizardPage::kInProgress;
  setWindowTitle(Q(view.caption));

  field_label_->setVisible(!in_progress);
  path_edit_->setVisible(!in_progress);
  separator_->setVisible(!in_progress);
  button_row_->setVisible(!in_progress);

  switch (view.page) {
    case WizardPage::kSelectHtmlFile:
      stack_->setCurrentWidget(select_);
      select_->count_spin()->SetValue(view.count_value);
      select_->remote_button()->setEnabled(services_.remote != nullptr);
      break;
    case WizardPage::kOptionSettings:
      stack_->setCurrentWidget(options_);
      options_->Show(flow_.option_boxes());
      options_->ShowPosition(flow_.player_position());
      break;
    case WizardPage::kEntranceSound:
    case WizardPage::kExitSound:
    case WizardPage::kBackgroundSound:
      stack_->setCurrentWidget(sound_);
      sound_->wait_label()->hide();
      sound_->SetGoTo(view.go_to_live, view.go_to_max, view.go_to_value);
      break;
    case WizardPage::kInProgress:
      stack_->setCurrentWidget(progress_);
      progress_->Reset();
      break;
  }
  if (in_progress) {
    setCursor(Qt::WaitCursor);
    return;
  }
  unsetCursor();

  field_label_->setText(Q(view.field_label));
  path_edit_->setText(Q(view.path_text));
  back_button_->setEnabled(view.back_live);
  next_button_->setText(view.start_button ? QStringLiteral("&Sonavelt") : QStringLiteral("&Next >"));
  if (services_.help) {
    field_label_->setWhatsThis(services_.help->TopicText(view.label_context));
    path_edit_->setWhatsThis(services_.help->TopicText(view.field_context));
    help_button_->setWhatsThis(services_.help->TopicText(view.help_context));
  }
  FocusOn(FocusField::kPath);
}

void WizardDialog::FocusOn(FocusField field) {
  QLineEdit* edit = path_edit_;
  if (field == FocusField::kCount) edit = select_->count_spin()->edit();
  if (field == FocusField::kGoTo) edit = sound_->go_to_spin()->edit();
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();  // leaves the caret, and the view, at the end of the text
}

void WizardDialog::Apply(const WizardFlow::Step& step) {
  if (step.moved) {
    ShowPage();
  } else {
    FocusOn(step.focus);
  }
}

void WizardDialog::OnNext() {
  Apply(flow_.Next(PathText(), select_->count_spin()->text().toStdString()));
}

std::string WizardDialog::PathText() const {
  // A path that is not UTF-8 shows with U+FFFD in place of its odd bytes;
  // left as shown, the field still means the path itself.
  const std::string text = path_edit_->text().toStdString();
  const std::string shown = flow_.View().path_text;
  return text == Q(shown).toStdString() ? shown : text;
}

void WizardDialog::OnBack() { Apply(flow_.Back(PathText())); }

void WizardDialog::OnGoTo() {
  Apply(flow_.GoTo(PathText(), sound_->go_to_spin()->text().toStdString()));
}

void WizardDialog::OnStart() {
  const WizardFlow::Step step = flow_.Start(PathText(), *services_.applet_chooser);
  Apply(step);
  if (step.moved) StartRun();
}

void WizardDialog::OnEnterKey() {
  if (flow_.page() == WizardPage::kInProgress) return;
  if (flow_.OnLastPage()) {
    OnStart();
  } else {
    OnNext();
  }
}

void WizardDialog::OnLocalMachine() {
  const std::string start = flow_.LocalPageDialogStart(PathText());
  const std::string chosen = services_.html_chooser->ChooseFile(start);
  const Status safe = run::CheckListSafePath(chosen, "HTML");
  Show(*services_.ui, safe);
  if (!chosen.empty() && safe.ok()) {
    flow_.ChooseLocalPage(chosen);
    path_edit_->setText(Q(chosen));
  }
  FocusOn(FocusField::kPath);
}

void WizardDialog::OnRemoteSite() {
  if (services_.remote && services_.remote->ChooseRemotePage(this, ftp_status_line(), choices_)) {
    path_edit_->setText(Q(RemotePageText(choices_.page)));
  }
  FocusOn(FocusField::kPath);
}

void WizardDialog::OnRemoveSounds() {
  run::PageTarget page = choices_.page;
  const std::string text = PathText();
  if (!page.is_remote) page.local_html_path = text;
  const std::string shown =
      page.is_remote ? page.remote_site + ":" + page.remote_path : page.local_html_path;
  if (!services_.ui->AskAs(QuestionKind::kYesNo, BoxStyle::kSystemModal,
                           run::RemoveSoundsQuestion(shown))) {
    FocusOn(FocusField::kPath);
    return;
  }
  std::atomic<bool> stop{false};
  std::unique_ptr<run::RemoteFolder> site;
  if (page.is_remote && services_.remote) site = services_.remote->OpenRemoteFolder(&stop);
  run::RemovalServices removal;
  removal.remote = site.get();
  removal.work_parent = choices_.paths.cache_folder;
  removal.cancel = &stop;
  run::RemovalOutcome outcome;
  // The window waits, drawn, while the work goes on off the GUI thread.
  setEnabled(false);
  QEventLoop loop;
  std::thread worker([&] {
    outcome = run::RemovePagePlayer(page, removal);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  setEnabled(true);
  if (outcome.end == run::RemovalOutcome::End::kRemoved && outcome.message.ok()) {
    services_.ui->Tell(BoxStyle::kPlain,
                       run::SoundsRemovedMessage(shown, outcome.removed.size() - 1));
  } else {
    Show(*services_.ui, outcome.message);
  }
  FocusOn(FocusField::kPath);
}

void WizardDialog::OnBrowseSound() {
  const std::string chosen = services_.sound_chooser->ChooseFile(flow_.SoundDialogFolder());
  const Status safe = run::CheckListSafePath(chosen, "audio");
  Show(*services_.ui, safe);
  if (!chosen.empty() && safe.ok()) path_edit_->setText(Q(chosen));
  FocusOn(FocusField::kPath);
}

void WizardDialog::OnPlay() {
  auto show_wait = [this](bool shown) {
    sound_->wait_label()->setVisible(shown);
    sound_->wait_label()->repaint();
  };
  if (!PlaySelectedSound(PathText(), *services_.previews, *services_.ui,
                         *services_.output, show_wait)) {
    FocusOn(FocusField::kPath);
  }
}

void WizardDialog::OnStartSoundTimer() {
  if (flow_.page() == WizardPage::kSelectHtmlFile && services_.start_sound) services_.start_sound();
}

void WizardDialog::ShowHelp() {
  if (services_.help) services_.help->ShowTopic(flow_.View().help_context, this);
}

void WizardDialog::ShowAbout() {
  AboutDialog about(services_.start_sound, this);
  about.exec();
}

void WizardDialog::CloseCommand() {
  if (!RunInProgress()) {
    QDialog::reject();
    return;
  }
  // The run waits at its next report or message until the answer is in.
  services_.gate->Hold();
  const bool quit = services_.ui->Ask(BoxStyle::kSystemModal, kQuitQuestion);
  if (quit) {
    stop_.Request();
    quit_confirmed_ = true;
    if (services_.help) services_.help->Close();
  }
  services_.gate->Release();
}

void WizardDialog::CancelCommand() {
  if (!RunInProgress() || stop_confirmed_ || quit_confirmed_) return;
  services_.gate->Hold();
  if (services_.ui->Ask(BoxStyle::kSystemModal, kStopQuestion)) {
    stop_.Request();
    stop_confirmed_ = true;
    progress_->cancel_button()->setEnabled(false);
  }
  services_.gate->Release();
}

void WizardDialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Nothing during a run, even on the Cancel button: a habitual Enter
      // must not ask to stop it.
      if (flow_.page() == WizardPage::kInProgress) return;
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button != next_button_) {
        button->click();
      } else {
        OnEnterKey();
      }
      return;
    case Qt::Key_Escape:
      if (flow_.page() != WizardPage::kInProgress) {
        QDialog::reject();
      } else {
        CancelCommand();
      }
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void WizardDialog::closeEvent(QCloseEvent* event) {
  if (RunInProgress()) {
    event->ignore();
    CloseCommand();
    return;
  }
  QDialog::closeEvent(event);
}

void WizardDialog::reject() {
  // Only Escape and the close command come here; both are handled above
  // during a run.
  if (RunInProgress()) return;
  QDialog::reject();
}

void WizardDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (start_sound_armed_) {
    start_sound_armed_ = false;
    start_sound_timer_.start();
  }
}

void WizardDialog::StartRun() {
  stop_.Withdraw();
  quit_confirmed_ = false;
  stop_confirmed_ = false;
  progress_->cancel_button()->setEnabled(true);
  run_thread_ = QThread::create([this] { RunOnWorker(); });
  connect(run_thread_, &QThread::finished, this, &WizardDialog::OnRunThreadFinished);
  run_thread_->start();
}

void WizardDialog::RunOnWorker() {
  QtProgressPanel panel(*progress_, *services_.gate);
  run::RunFrontEnd front;
  front.ui = services_.ui;
  front.panel = &panel;
  front.stop = &stop_;
  front.sounds = services_.sound_work;
  front.pause = services_.pause;
  front.write_history = services_.write_history;
  if (services_.beep) {
    front.beep = [this] { services_.gate->Call(services_.beep); };
  }
  // Running out of memory gets a message and the first page, not an abort;
  // the run's files are cleaned up as its stack unwinds.
  try {
    run::RunReport report = run::StartRun(choices_, front);
    outcome_ = std::move(report.outcome);
    settings_page_ = std::move(report.settings_page);
    Show(*services_.ui, outcome_.message);
    if (!outcome_.broken_page.empty() && services_.show_broken_page)
      services_.show_broken_page(outcome_.broken_page);
  } catch (const std::bad_alloc&) {
    services_.ui->Tell(BoxStyle::kSystemModal, run::OutOfMemoryMessage());
    outcome_ = run::RunOutcome{};
    outcome_.end = run::RunOutcome::End::kSentBack;
    outcome_.page = run::ReturnPage::kSelectHtmlFile;
  }
}

void WizardDialog::OnRunThreadFinished() {
  run_thread_->deleteLater();
  run_thread_ = nullptr;
  unsetCursor();

  if (stop_confirmed_ && !quit_confirmed_ &&
      (outcome_.end == run::RunOutcome::End::kCancelled ||
       outcome_.end == run::RunOutcome::End::kSentBack)) {
    // Stopped by Cancel: back where the run started, choices kept.
    flow_.ReturnToStartPage();
    ShowPage();
  } else if (quit_confirmed_ || outcome_.end == run::RunOutcome::End::kCancelled ||
             outcome_.end == run::RunOutcome::End::kUnusablePage) {
    if (services_.help) services_.help->Close();
    QDialog::reject();
  } else if (outcome_.end == run::RunOutcome::End::kSentBack) {
    flow_.ReturnToPage(PageOf(outcome_.page), outcome_.combination);
    ShowPage();
  } else {
    AfterRun();
    return;  // the run has been acted on once "Sonavelt Again?" is answered
  }
  emit runFinished();
}

void WizardDialog::AfterRun() {
  hide();
  // Modal, but without a loop of its own: the wizard's loop serves it, and
  // its answer comes back through finished().
  auto* again = new AgainDialog(!choices_.options.page_url.empty(), [this] {
    if (!services_.open_test_page) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    services_.open_test_page(settings_page_);
    QApplication::restoreOverrideCursor();
  }, this);
  again->setModal(true);
  connect(again, &QDialog::finished, this, [this, again](int result) {
    again->deleteLater();
    if (result == QDialog::Accepted) {
      flow_.Restart();
      ShowPage();
      show();
      raise();
      activateWindow();
      FocusOn(FocusField::kPath);
    } else {
      accept();
    }
    emit runFinished();
  });
  again->show();
}

}  // namespace sonavelt::app
