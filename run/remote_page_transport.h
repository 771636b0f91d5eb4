#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "remote/transfers.h"
#include "run/page_transport.h"

// The run's side of a remote page: PageTransport over the remote site's
// fetch and publish steps, with their reports turned into the run's progress.
namespace sonavelt::run {

class RemotePageTransport : public PageTransport {
 public:
  // Makes the FTP side of one run. The default makes a
  // remote::RemotePageTransfer; tests put a fake in its place.
  using TransferFactory = std::function<std::unique_ptr<remote::PageTransfer>(
      const remote::FtpEndpoint& endpoint, UserInterface& ui,
      remote::TransferObserver& observer)>;

  // `ui` gets the transfers' messages (system-modal) and must outlive this
  // object. The endpoint is the site the next run works on (set_endpoint).
  explicit RemotePageTransport(UserInterface& ui, TransferFactory factory = {});
  ~RemotePageTransport() override;

  // The site, login and connection settings of the page chosen last. Set
  // before a run starts, never while one works: the run reads it on its own
  // thread.
  void set_endpoint(remote::FtpEndpoint endpoint) { endpoint_ = std::move(endpoint); }
  const remote::FtpEndpoint& endpoint() const { return endpoint_; }

  // Opens the run's connection and downloads the page in ASCII mode. The
  // connection stays open for PublishPage.
  bool FetchPage(const PageTarget& page, const std::string& local_path, RunProgress& progress,
                 RunState& state) override;
  // Sends the page, the sounds into "audio" beside it, the class file, the
  // player script (when there is one) and the resource file, each announced
  // as one transfer step; closes the connection at the end, whatever the
  // outcome.
  bool PublishPage(const PageTarget& page, const PublishFiles& files, RunProgress& progress,
                   RunState& state) override;

 private:
  class Observer;
  // The transfer of the current run, made on first use.
  remote::PageTransfer& Transfer(const PageTarget& page, RunProgress& progress,
                                 RunState& state);

  UserInterface& ui_;
  TransferFactory factory_;
  remote::FtpEndpoint endpoint_;
  std::unique_ptr<Observer> observer_;
  std::unique_ptr<remote::PageTransfer> transfer_;
};

}  // namespace sonavelt::run
