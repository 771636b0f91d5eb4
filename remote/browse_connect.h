#pragma once

#include <memory>

#include "base/status.h"
#include "remote/ftp_address.h"
#include "remote/ftp_connection.h"
#include "remote/status_line.h"

namespace sonavelt::remote {

// How a connect of the remote browser ended.
enum class ConnectOutcome {
  kConnected,   // the connection is open; fill the tree from it
  kNoSession,   // no network session at all (message 2 told): close the browser
  kUnparsable,  // the address is not even a URL: show the no-connection tree,
                // no fresh connect dialog
  kFailed,      // not an FTP address, or contact/login failed: the connect
                // dialog is shown again so the user can correct it
};

struct BrowseConnection {
  ConnectOutcome outcome = ConnectOutcome::kFailed;
  FtpAddress address;  // the parsed address (server, start path, port)
  std::unique_ptr<FtpConnection> connection;  // set when kConnected
  // Why the connect failed, for the front end to show (plain box); ok when
  // connected.
  Status status;
};

// The remote browser's connect: parses login.address_text, shows
// "  Contacting <server> ......" on the status line, logs in, and on success
// sets login.home_directory. On failure `status` says message 3 ("Please enter
// a valid FTP URL"), the error's own text or message 4, for a plain box.
// login.port takes the parsed port. The status line is hidden when this
// returns, before the message is shown.
//
// The page target is left alone: the caller records the server together with
// the path when a page is picked, so a connect that ends without a pick keeps
// the earlier pick whole. settings supplies ca_file, the SSH host key and private
// key, the known-hosts file and the time-outs for the connection.
BrowseConnection ConnectToSite(FtpLogin& login, const FtpEndpoint& settings,
                               StatusLine& status_line);

}  // namespace sonavelt::remote
