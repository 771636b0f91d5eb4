#include "remote/transfers.h"

#include <filesystem>
#include <functional>
#include <thread>

#include "base/text.h"
#include "remote/messages.h"

namespace sonavelt::remote {

RemoteLayout::RemoteLayout(std::string_view remote_page_path) : page_path(remote_page_path) {
  size_t slash = page_path.rfind('/');
  folder = slash == std::string::npos ? "" : page_path.substr(0, slash);
  audio_folder = folder + "/audio";
}

std::string RemoteLayout::SoundPath(std::string_view local_sound) const {
  return audio_folder + "/" + FileNameOfPath(local_sound);
}

std::string RemoteLayout::ClassPath() const {
  return folder + "/" + std::string(kAppletClassFileName);
}

std::string RemoteLayout::BesidePage(std::string_view local_file) const {
  return folder + "/" + FileNameOfPath(local_file);
}

std::string RemoteLayout::ResourcePath(std::string_view resource_file_name) const {
  return folder + "/" + std::string(resource_file_name);
}

std::vector<std::string> SoundUploadOrder(const std::vector<std::string>& entrance,
                                          const std::vector<std::string>& exit,
                                          const std::vector<std::string>& background,
                                          bool no_background) {
  std::vector<std::string> order;
  for (size_t i = 0; i < entrance.size(); ++i) {
    order.push_back(entrance[i]);
    if (i < exit.size()) order.push_back(exit[i]);
    if (!no_background && i < background.size()) order.push_back(background[i]);
  }
  return order;
}

RemotePageTransfer::RemotePageTransfer(FtpEndpoint endpoint, UserInterface& ui,
                                       TransferObserver& observer, RetryPolicy policy)
    : endpoint_(std::move(endpoint)), ui_(ui), observer_(observer), policy_(policy) {
  if (policy_.max_attempts < 1) policy_.max_attempts = 1;
}

RemotePageTransfer::~RemotePageTransfer() = default;

void RemotePageTransfer::Close() { connection_.reset(); }

Status RemotePageTransfer::OpenConnection(const std::string& temp_page_path) {
  connection_ = std::make_unique<FtpConnection>(endpoint_);
  if (!connection_->has_session())
    return Fail(std::string(kCannotOpenInternetText), temp_page_path);
  Status status = connection_->Open();
  if (!status.ok()) {
    return Fail(status.message().empty() ? std::string(kFtpExceptionText) : status.message(),
                temp_page_path);
  }
  return status;
}

Status RemotePageTransfer::Fail(const std::string& text, const std::string& temp_page_path) {
  ui_.Tell(BoxStyle::kSystemModal, text);
  Close();
  std::error_code ignored;
  if (!temp_page_path.empty()) std::filesystem::remove(temp_page_path, ignored);
  return Status::IoError(text);
}

bool RemotePageTransfer::ReconnectRun() {
  auto fresh = std::make_unique<FtpConnection>(endpoint_);
  Status status = fresh->Open(true);
  if (!status.ok()) {
    ui_.Tell(BoxStyle::kSystemModal,
             status.message().empty() ? std::string(kFtpConnectionFailedText) : status.message());
    return false;
  }
  connection_ = std::move(fresh);
  return true;
}

Status RemotePageTransfer::WithRetries(const std::function<Status()>& attempt,
                                       const std::function<void()>& before_retry,
                                       bool show_lost_connection) {
  Status status = attempt();
  std::chrono::milliseconds wait = policy_.first_wait;
  for (int tries = 1; !status.ok() && tries < policy_.max_attempts; ++tries) {
    if (show_lost_connection) observer_.SetProgressText(LostConnectionText(endpoint_.server));
    if (observer_.CancelRequested()) return Status::Cancelled();
    std::this_thread::sleep_for(wait);
    wait *= 2;
    // A failed reconnect has told the user; the attempt below then runs on
    // the old handle, which logs in again by itself if it can.
    if (!ReconnectRun() && !connection_) connection_ = std::make_unique<FtpConnection>(endpoint_);
    before_retry();
    status = attempt();
  }
  return status;
}

Status RemotePageTransfer::FetchRemotePage(const std::string& remote_path,
                                           const std::string& temp_page_path,
                                           const std::string& retrieving_text) {
  Status status = OpenConnection(temp_page_path);
  if (!status.ok()) return status;
  status = WithRetries(
      [&] { return connection_->Download(remote_path, temp_page_path, TransferType::kAscii); },
      [&] { observer_.SetProgressText(retrieving_text); });
  if (status.code() == Status::Code::kCancelled) return status;
  if (!status.ok())
    return Fail(CannotRetrieveText(remote_path, endpoint_.server, status.message()),
                temp_page_path);
  return Status::Ok();
}

Status RemotePageTransfer::PublishRemotePage(const PublishFiles& files) {
  const std::string& temp = files.temp_page_path;
  if (observer_.CancelRequested()) return Status::Cancelled();
  if (!connection_) {
    Status status = OpenConnection(temp);
    if (!status.ok()) return status;
  }
  if (observer_.CancelRequested()) return Status::Cancelled();

  RemoteLayout layout(files.remote_path);
  // One file: announce, send, and on failure announce again (as a repeat)
  // before each further attempt.
  auto send = [&](const std::string& announced, const std::string& local,
                  const std::string& remote, TransferType type) -> Status {
    if (observer_.CancelRequested()) return Status::Cancelled();
    observer_.ReportTransferring(announced, false);
    Status status = WithRetries([&] { return connection_->Upload(local, remote, type); },
                                [&] { observer_.ReportTransferring(announced, true); });
    if (status.code() == Status::Code::kCancelled) return status;
    if (!status.ok()) return Fail(CannotTransferText(announced, endpoint_.server, status.message()), temp);
    return status;
  };

  Status status = send(files.remote_path, temp, files.remote_path, TransferType::kAscii);
  if (!status.ok()) return status;

  if (observer_.CancelRequested()) return Status::Cancelled();
  status = WithRetries(
      [&] {
        // The folder usually exists after the first run: a refused MKD is fine
        // as long as the folder can be entered.
        connection_->CreateDirectory(layout.audio_folder);
        return connection_->ChangeDirectory(layout.audio_folder);
      },
      [] {}, /*show_lost_connection=*/false);
  if (status.code() == Status::Code::kCancelled) return status;
  if (!status.ok())
    return Fail(CannotEnterFolderText(layout.audio_folder, endpoint_.server, status.message()),
                temp);

  for (const std::string& sound : files.sounds) {
    status = send(sound, sound, layout.SoundPath(sound), TransferType::kBinary);
    if (!status.ok()) return status;
  }
  status = send(files.applet_class_path, files.applet_class_path, layout.ClassPath(),
                TransferType::kBinary);
  if (!status.ok()) return status;
  if (!files.player_script_path.empty()) {
    status = send(files.player_script_path, files.player_script_path,
                  layout.BesidePage(files.player_script_path), TransferType::kBinary);
    if (!status.ok()) return status;
  }
  status = send(files.local_resource_path, files.local_resource_path,
                layout.ResourcePath(files.resource_file_name), TransferType::kBinary);
  if (!status.ok()) return status;

  Close();
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  return Status::Ok();
}

}  // namespace sonavelt::remote
