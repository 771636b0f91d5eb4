#include "run/remote_page_transport.h"

#include "base/text.h"

namespace sonavelt::run {

// The transfers' reports, in the run's terms. Points at the progress and
// state of the run that is working; both live as long as that run.
class RemotePageTransport::Observer : public remote::TransferObserver {
 public:
  Observer(RunProgress& progress, RunState& state, std::string site)
      : progress_(&progress), state_(&state), site_(std::move(site)) {}

  void ReportTransferring(const std::string& file, bool repeat) override {
    // Each file moves the bar once, however often it is sent.
    if (repeat) progress_->RepeatTransfer();
    progress_->ReportTransferring(file, site_);
  }
  void SetProgressText(const std::string& text) override { progress_->SetStatusText(text); }
  bool CancelRequested() override { return state_->cancel_requested.load(); }
  const std::atomic<bool>* CancelFlag() override { return &state_->cancel_requested; }

 private:
  RunProgress* progress_;
  RunState* state_;
  std::string site_;
};

RemotePageTransport::RemotePageTransport(UserInterface& ui, TransferFactory factory)
    : ui_(ui), factory_(std::move(factory)) {
  if (!factory_) {
    factory_ = [](const remote::FtpEndpoint& endpoint, UserInterface& ui,
                  remote::TransferObserver& observer) -> std::unique_ptr<remote::PageTransfer> {
      return std::make_unique<remote::RemotePageTransfer>(endpoint, ui, observer);
    };
  }
}

RemotePageTransport::~RemotePageTransport() = default;

remote::PageTransfer& RemotePageTransport::Transfer(const PageTarget& page,
                                                    RunProgress& progress, RunState& state) {
  if (!transfer_) {
    observer_ = std::make_unique<Observer>(progress, state, page.remote_site);
    remote::FtpEndpoint endpoint = endpoint_;
    if (endpoint.server.empty()) endpoint.server = page.remote_site;
    transfer_ = factory_(endpoint, ui_, *observer_);
  }
  return *transfer_;
}

bool RemotePageTransport::FetchPage(const PageTarget& page, const std::string& local_path,
                                    RunProgress& progress, RunState& state) {
  // A run that ended between fetch and publish left its transfer behind.
  transfer_.reset();
  Status status = Transfer(page, progress, state)
                      .FetchRemotePage(page.remote_path, local_path,
                                       "Retrieving:\r\n\r\n\t" + FileNameOfPath(page.remote_path));
  if (!status.ok()) transfer_.reset();
  return status.ok();
}

bool RemotePageTransport::PublishPage(const PageTarget& page, const PublishFiles& files,
                                      RunProgress& progress, RunState& state) {
  remote::PublishFiles remote_files;
  remote_files.temp_page_path = files.page_path;
  remote_files.remote_path = page.remote_path;
  remote_files.sounds = files.sounds;
  remote_files.sound_copies = files.sound_copies;
  remote_files.player_data_paths = files.player_data_paths;
  remote_files.applet_class_path = files.applet_class_path;
  remote_files.player_script_path = files.player_script_path;
  remote_files.local_resource_path = files.resource_path;
  remote_files.resource_file_name = FileNameOfPath(files.resource_path);
  Status status = Transfer(page, progress, state).PublishRemotePage(remote_files);
  transfer_.reset();
  observer_.reset();
  return status.ok();
}

}  // namespace sonavelt::run
