#include "app/connect_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonavelt::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ConnectDialog::ConnectDialog(const remote::AddressHistory& history, const remote::FtpLogin& login,
                             std::function<void(uint32_t context)> show_help, QWidget* owner)
    : QDialog(owner) {
  setWindowTitle(QStringLiteral("Connect To Remote Site"));
  setModal(true);

  auto* address_label = new QLabel(QStringLiteral("&Address (FTP URL or FTP server name):"), this);
  address_box_ = new QComboBox(this);
  address_box_->setEditable(true);
  // The list is the history, in its order; typing never adds to it (Connect
  // updates the history, which the next dialog shows).
  address_box_->setInsertPolicy(QComboBox::NoInsert);
  address_box_->setDuplicatesEnabled(true);
  address_box_->setMinimumContentsLength(36);
  address_box_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  for (const std::string& entry : history.entries()) address_box_->addItem(Q(entry));
  address_box_->setEditText(Q(history.InitialAddress(login.address_text)));
  address_label->setBuddy(address_box_);

  user_edit_ = new QLineEdit(Q(login.user_name), this);
  user_edit_->setMaxLength(remote::kMaxLoginFieldLength);
  auto* user_label = new QLabel(QStringLiteral("&USER NAME"), this);
  user_label->setBuddy(user_edit_);
  password_edit_ = new QLineEdit(Q(login.password), this);
  password_edit_->setMaxLength(remote::kMaxLoginFieldLength);
  password_edit_->setEchoMode(QLineEdit::Password);
  auto* password_label = new QLabel(QStringLiteral("&PASSWORD"), this);
  password_label->setBuddy(password_edit_);

  key_file_edit_ = new QLineEdit(Q(login.key_file), this);
  auto* key_label = new QLabel(QStringLiteral("&KEY FILE (sftp)"), this);
  key_label->setBuddy(key_file_edit_);
  // The key's passphrase unlocks the key on this computer; the PASSWORD
  // field is the account's, sent to the server (with a key file, only when
  // the key is refused).
  passphrase_edit_ = new QLineEdit(Q(login.key_passphrase), this);
  passphrase_edit_->setEchoMode(QLineEdit::Password);
  auto* passphrase_label = new QLabel(QStringLiteral("KEY PASS&PHRASE (sftp)"), this);
  passphrase_label->setBuddy(passphrase_edit_);
  ca_file_edit_ = new QLineEdit(Q(login.ca_file), this);
  auto* ca_label = new QLabel(QStringLiteral("C&A FILE (ftpes, ftps)"), this);
  ca_label->setBuddy(ca_file_edit_);
  // A file chosen with Browse goes into its field, where it can be edited.
  auto browse = [this](QLineEdit* field, const QString& caption, const QString& filter) {
    auto* button = new QPushButton(QStringLiteral("Browse..."), this);
    connect(button, &QPushButton::clicked, this, [this, field, caption, filter] {
      QString chosen = QFileDialog::getOpenFileName(this, caption, field->text(), filter);
      if (!chosen.isEmpty()) field->setText(chosen);
    });
    return button;
  };

  auto* fields = new QGridLayout;
  fields->addWidget(user_edit_, 0, 0);
  fields->addWidget(user_label, 0, 1);
  fields->addWidget(password_edit_, 1, 0);
  fields->addWidget(password_label, 1, 1);
  fields->addWidget(key_file_edit_, 2, 0);
  fields->addWidget(key_label, 2, 1);
  fields->addWidget(browse(key_file_edit_, QStringLiteral("SSH Key File"),
                           QStringLiteral("All files (*)")),
                    2, 2);
  fields->addWidget(passphrase_edit_, 3, 0);
  fields->addWidget(passphrase_label, 3, 1);
  fields->addWidget(ca_file_edit_, 4, 0);
  fields->addWidget(ca_label, 4, 1);
  fields->addWidget(browse(ca_file_edit_, QStringLiteral("CA File"),
                           QStringLiteral("Certificates (*.pem *.crt);;All files (*)")),
                    4, 2);

  auto* buttons = new QDialogButtonBox(this);
  connect_button_ = buttons->addButton(QStringLiteral("&Connect"), QDialogButtonBox::AcceptRole);
  QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  buttons->addButton(QStringLiteral("Ca&ncel"), QDialogButtonBox::RejectRole);
  connect_button_->setDefault(true);
  help->setEnabled(static_cast<bool>(show_help));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [show_help] {
    if (show_help) show_help(kHelpContext);
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(address_label);
  layout->addWidget(address_box_);
  layout->addLayout(fields);
  layout->addWidget(buttons);

  setTabOrder(address_box_, user_edit_);
  setTabOrder(user_edit_, password_edit_);
  setTabOrder(password_edit_, key_file_edit_);
  setTabOrder(key_file_edit_, passphrase_edit_);
  setTabOrder(passphrase_edit_, ca_file_edit_);
  address_box_->setFocus();
}

std::string ConnectDialog::address_text() const {
  return address_box_->currentText().toStdString();
}

std::string ConnectDialog::user_name() const { return user_edit_->text().toStdString(); }

std::string ConnectDialog::password() const { return password_edit_->text().toStdString(); }

std::string ConnectDialog::key_file() const { return key_file_edit_->text().toStdString(); }

std::string ConnectDialog::key_passphrase() const {
  return passphrase_edit_->text().toStdString();
}

std::string ConnectDialog::ca_file() const { return ca_file_edit_->text().toStdString(); }

}  // namespace sonavelt::app
