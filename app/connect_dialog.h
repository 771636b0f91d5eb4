#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "app/help_ids.h"
#include "remote/address_history.h"
#include "remote/ftp_address.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace sonavelt::app {

// "Connect To Remote Site": the address of the site (typed, or one of the
// four remembered addresses, most recent first), the user name, the
// password, an SSH key file and the passphrase that unlocks it (for sftp;
// the passphrase is never sent) and a CA file (for ftpes and ftps),
// each of the last two typed or chosen with its Browse button. The dialog only collects them: what Connect does with them
// (remembering the address, connecting) is the caller's. The fields show
// `login` as typed last in this program run; the password is never stored
// anywhere by the dialog, nor the passphrase.
class ConnectDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr uint32_t kHelpContext = help::kConnectDialog;

  // show_help: opens a help topic; empty: the Help button is disabled.
  ConnectDialog(const remote::AddressHistory& history, const remote::FtpLogin& login,
                std::function<void(uint32_t context)> show_help, QWidget* owner = nullptr);

  // The fields as they stand (after Connect: as the user left them).
  std::string address_text() const;
  std::string user_name() const;
  std::string password() const;
  std::string key_file() const;
  std::string key_passphrase() const;
  std::string ca_file() const;

  QComboBox* address_box() const { return address_box_; }
  QLineEdit* user_edit() const { return user_edit_; }
  QLineEdit* password_edit() const { return password_edit_; }
  QLineEdit* key_file_edit() const { return key_file_edit_; }
  QLineEdit* passphrase_edit() const { return passphrase_edit_; }
  QLineEdit* ca_file_edit() const { return ca_file_edit_; }
  QPushButton* connect_button() const { return connect_button_; }

 private:
  QComboBox* address_box_;
  QLineEdit* user_edit_;
  QLineEdit* password_edit_;
  QLineEdit* key_file_edit_;
  QLineEdit* passphrase_edit_;
  QLineEdit* ca_file_edit_;
  QPushButton* connect_button_;
};

}  // namespace sonavelt::app
