#include "remote/ftp_connection.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace sonavelt::remote {
namespace {

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Handle(void* h) { return static_cast<CURL*>(h); }

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// One reply of the server: the command it answers (PASS masked) and its final
// line ("250 CWD command successful.").
struct Reply {
  std::string command;
  int code = 0;
  std::string line;
};

struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

curl_slist* MakeSlist(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& l : lines) list = curl_slist_append(list, l.c_str());
  return list;
}

std::string ParentOf(const std::string& absolute_path) {
  size_t slash = absolute_path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return absolute_path.substr(0, slash);
}

}  // namespace

struct FtpConnection::Perform {
  // Request.
  std::string url;
  bool nobody = false;
  bool fresh = false;
  bool ascii = false;
  std::vector<std::string> quote;
  std::vector<std::string> postquote;
  const std::string* upload = nullptr;  // the bytes to send
  std::string* text_sink = nullptr;      // a listing
  std::FILE* file_sink = nullptr;        // a download
  // Transfer state.
  size_t upload_offset = 0;
  bool pending_cr = false;  // ASCII download: a CR that ended the last chunk
  bool sink_failed = false;
  // Results.
  std::vector<Reply> replies;
  std::string last_command;
  std::string partial_line;
  char error[CURL_ERROR_SIZE] = {};
  CURLcode code = CURLE_OK;

  const Reply* ReplyTo(std::string_view verb) const {
    for (auto it = replies.rbegin(); it != replies.rend(); ++it)
      if (it->command.compare(0, verb.size(), verb) == 0) return &*it;
    return nullptr;
  }
};

namespace {

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    std::string command(data, size);
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
      command.pop_back();
    if (command.compare(0, 5, "PASS ") == 0) command = "PASS";
    p->last_command = command;
  } else if (type == CURLINFO_HEADER_IN) {
    p->partial_line.append(data, size);
    size_t nl;
    while ((nl = p->partial_line.find('\n')) != std::string::npos) {
      std::string line = p->partial_line.substr(0, nl);
      p->partial_line.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // Only the final line of a reply ("ddd text") counts; "ddd-" lines continue.
      if (line.size() >= 4 && isdigit(static_cast<unsigned char>(line[0])) &&
          isdigit(static_cast<unsigned char>(line[1])) &&
          isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
        p->replies.push_back({p->last_command, std::stoi(line.substr(0, 3)), line});
      }
    }
  }
  return 0;
}

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  size_t n = size * count;
  std::string chunk;
  std::string_view bytes(data, n);
  if (p->ascii) {
    // Turn CR LF into LF (whatever a server sends for its line ends), also
    // when the pair is split between two chunks.
    chunk.reserve(n + 1);
    for (char c : bytes) {
      if (p->pending_cr) {
        p->pending_cr = false;
        if (c != '\n') chunk += '\r';
      }
      if (c == '\r') {
        p->pending_cr = true;
        continue;
      }
      chunk += c;
    }
    bytes = chunk;
  }
  if (p->text_sink) p->text_sink->append(bytes);
  if (p->file_sink && !bytes.empty() &&
      std::fwrite(bytes.data(), 1, bytes.size(), p->file_sink) != bytes.size()) {
    p->sink_failed = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  return n;
}

size_t OnRead(char* buffer, size_t size, size_t count, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  size_t n = std::min(size * count, p->upload->size() - p->upload_offset);
  std::memcpy(buffer, p->upload->data() + p->upload_offset, n);
  p->upload_offset += n;
  return n;
}

int OnSeek(void* user, curl_off_t offset, int origin) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<size_t>(offset) > p->upload->size())
    return CURL_SEEKFUNC_CANTSEEK;
  p->upload_offset = static_cast<size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

}  // namespace

FtpConnection::FtpConnection(FtpEndpoint endpoint) : endpoint_(std::move(endpoint)) {
  GlobalInitOnce();
  handle_ = curl_easy_init();
}

FtpConnection::~FtpConnection() {
  if (handle_) curl_easy_cleanup(Handle(handle_));
}

std::string FtpConnection::TemporaryUploadPath(const std::string& remote_path) {
  size_t slash = remote_path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : remote_path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? remote_path : remote_path.substr(slash + 1);
  return folder + "." + name + ".part";
}

std::string FtpConnection::Absolute(const std::string& path) const {
  std::string result;
  if (!path.empty() && path.front() == '/') {
    result = path;
  } else {
    result = current_directory_;
    if (!path.empty()) {
      if (result.empty() || result.back() != '/') result += '/';
      result += path;
    }
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result.empty() ? "/" : result;
}

std::string FtpConnection::UrlFor(const std::string& absolute_path, bool folder) const {
  std::string url;
  switch (endpoint_.security) {
    case Security::kPlain:
    case Security::kExplicitTls: url = "ftp://"; break;
    case Security::kImplicitTls: url = "ftps://"; break;
    case Security::kSsh: url = "sftp://"; break;
  }
  bool ipv6 = endpoint_.server.find(':') != std::string::npos && endpoint_.server.front() != '[';
  url += ipv6 ? "[" + endpoint_.server + "]" : endpoint_.server;
  url += ":" + std::to_string(endpoint_.port);
  // FTP paths in a URL are relative to the login directory; a leading empty
  // segment ("//") makes them absolute. SFTP paths are absolute already.
  if (endpoint_.security != Security::kSsh) url += "/";
  std::string path;
  size_t start = 1;
  while (start <= absolute_path.size()) {
    size_t end = absolute_path.find('/', start);
    if (end == std::string::npos) end = absolute_path.size();
    std::string segment = absolute_path.substr(start, end - start);
    if (!segment.empty()) {
      char* escaped = curl_easy_escape(Handle(handle_), segment.c_str(),
                                       static_cast<int>(segment.size()));
      path += "/";
      path += escaped ? escaped : "";
      curl_free(escaped);
    }
    start = end + 1;
  }
  if (path.empty() || folder) path += "/";
  url += path;
  return url;
}

std::string FtpConnection::QuotedPath(const std::string& absolute_path) const {
  if (endpoint_.security != Security::kSsh) return absolute_path;
  std::string quoted = "\"";
  for (char c : absolute_path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

Status FtpConnection::Run(Perform& p) {
  if (!handle_) return Status::IoError("cannot create a libcurl handle");
  CURL* h = Handle(handle_);
  // reset clears the options of the last request; the open connection stays.
  curl_easy_reset(h);
  curl_easy_setopt(h, CURLOPT_URL, p.url.c_str());
  if (!endpoint_.user_name.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, endpoint_.user_name.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, endpoint_.password.c_str());
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  long timeout = endpoint_.timeout_seconds > 0 ? endpoint_.timeout_seconds : 100;
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeout);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, p.error);
  // The debug hook is how the server's replies are paired with the commands
  // they answer; nothing is printed.
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &p);
  switch (endpoint_.security) {
    case Security::kPlain: break;
    case Security::kExplicitTls:
      curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
      break;
    case Security::kImplicitTls:
      curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      break;
    case Security::kSsh:
      if (endpoint_.ssh_private_key_file.empty()) {
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES,
                         static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
      } else {
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES,
                         static_cast<long>(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_PASSWORD |
                                           CURLSSH_AUTH_KEYBOARD));
        curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, endpoint_.ssh_private_key_file.c_str());
        curl_easy_setopt(h, CURLOPT_KEYPASSWD, endpoint_.password.c_str());
      }
      if (!endpoint_.ssh_host_key_sha256.empty()) {
        curl_easy_setopt(h, CURLOPT_SSH_HOST_PUBLIC_KEY_SHA256,
                         endpoint_.ssh_host_key_sha256.c_str());
      } else {
        // Without a pinned key, only hosts already in the user's known_hosts
        // are accepted (without a home folder: none).
        const char* home = std::getenv("HOME");
        std::string known = std::string(home ? home : "/nonexistent") + "/.ssh/known_hosts";
        curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, known.c_str());
      }
      break;
  }
  if (!endpoint_.ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, endpoint_.ca_file.c_str());
  if (p.fresh) curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
  if (p.nobody) curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  if (p.ascii && endpoint_.security != Security::kSsh)
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &p);
  if (p.upload) {
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &p);
    curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, OnSeek);
    curl_easy_setopt(h, CURLOPT_SEEKDATA, &p);
    if (!p.ascii)
      curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(p.upload->size()));
  }
  std::unique_ptr<curl_slist, SlistDeleter> quote(MakeSlist(p.quote));
  std::unique_ptr<curl_slist, SlistDeleter> postquote(MakeSlist(p.postquote));
  if (quote) curl_easy_setopt(h, CURLOPT_QUOTE, quote.get());
  if (postquote) curl_easy_setopt(h, CURLOPT_POSTQUOTE, postquote.get());

  p.code = curl_easy_perform(h);
  if (p.ascii && p.pending_cr) {
    // A lone CR at the very end of the data belongs to the data.
    p.pending_cr = false;
    char cr = '\r';
    if (p.text_sink) p.text_sink->push_back(cr);
    if (p.file_sink) std::fwrite(&cr, 1, 1, p.file_sink);
  }
  // Leave no pointer to this request's buffers in the handle.
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
  curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr);
  if (p.code == CURLE_OK) return Status::Ok();

  if (p.sink_failed) return Status::IoError("cannot write the local file");
  // The server's own words are the best explanation; a refusal of a quote
  // command marked "*" is not the failure, so take the last error reply.
  std::string text;
  for (auto it = p.replies.rbegin(); it != p.replies.rend(); ++it) {
    if (it->code >= 400) {
      text = it->line;
      break;
    }
  }
  if (text.empty()) text = p.error[0] ? p.error : curl_easy_strerror(p.code);
  switch (p.code) {
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
      return Status::NotFound(text);
    case CURLE_LOGIN_DENIED:
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_PEER_FAILED_VERIFICATION:
      return Status::Refused(text);
    default:
      return Status::IoError(text);
  }
}

Status FtpConnection::Open(bool fresh) {
  Perform p;
  p.url = UrlFor(endpoint_.security == Security::kSsh ? "/~" : "/", true);
  // "ftp://host/" (one "/") is the login directory itself.
  if (endpoint_.security != Security::kSsh) p.url.pop_back();
  p.nobody = true;
  p.fresh = fresh;
  Status status = Run(p);
  if (!status.ok()) return status;
  char* entry = nullptr;
  curl_easy_getinfo(Handle(handle_), CURLINFO_FTP_ENTRY_PATH, &entry);
  home_directory_ = entry && entry[0] == '/' ? entry : "/";
  while (home_directory_.size() > 1 && home_directory_.back() == '/') home_directory_.pop_back();
  current_directory_ = home_directory_;
  return Status::Ok();
}

Status FtpConnection::ChangeDirectory(const std::string& path) {
  if (HasLineBreakOrNul(path)) return Status::InvalidArgument("bad remote path");
  std::string target = Absolute(path);
  Status status;
  if (endpoint_.security == Security::kSsh) {
    // Over SFTP a NOBODY request does not tell whether a folder exists.
    std::vector<RemoteEntry> ignored;
    status = List(target, &ignored);
  } else {
    Perform p;
    p.url = UrlFor(target, true);
    p.nobody = true;
    status = Run(p);
  }
  if (!status.ok()) return status;
  current_directory_ = target;
  return Status::Ok();
}

Status FtpConnection::CreateDirectory(const std::string& path) {
  if (HasLineBreakOrNul(path)) return Status::InvalidArgument("bad remote path");
  std::string target = Absolute(path);
  Perform p;
  p.url = UrlFor(ParentOf(target), true);
  p.nobody = true;
  if (endpoint_.security == Security::kSsh) {
    p.quote = {"mkdir " + QuotedPath(target)};
    return Run(p);
  }
  // "*": a refusal (the folder exists, no right) must not close the connection.
  p.quote = {"*MKD " + target};
  Status status = Run(p);
  if (!status.ok()) return status;
  const Reply* reply = p.ReplyTo("MKD ");
  if (reply && reply->code >= 300) return Status::Refused(reply->line);
  return Status::Ok();
}

Status FtpConnection::List(const std::string& folder, std::vector<RemoteEntry>* entries) {
  entries->clear();
  if (HasLineBreakOrNul(folder)) return Status::InvalidArgument("bad remote path");
  Perform p;
  std::string text;
  p.url = UrlFor(Absolute(folder), true);
  p.text_sink = &text;
  Status status = Run(p);
  if (!status.ok()) return status;
  *entries = ParseListing(text);
  return Status::Ok();
}

Status FtpConnection::Download(const std::string& remote_path, const std::string& local_path,
                               TransferType type) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  std::string partial = local_path + ".part";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) return Status::IoError("cannot create " + partial);
  Perform p;
  p.url = UrlFor(Absolute(remote_path), false);
  p.ascii = type == TransferType::kAscii;
  p.file_sink = file;
  Status status = Run(p);
  if (std::fclose(file) != 0 && status.ok()) status = Status::IoError("cannot write " + partial);
  std::error_code ec;
  if (status.ok()) {
    std::filesystem::rename(partial, local_path, ec);
    if (ec) status = Status::IoError("cannot replace " + local_path + ": " + ec.message());
  }
  if (!status.ok()) std::filesystem::remove(partial, ec);
  return status;
}

Status FtpConnection::Upload(const std::string& local_path, const std::string& remote_path,
                             TransferType type) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  std::ifstream in(local_path, std::ios::binary);
  if (!in) return Status::NotFound("cannot open " + local_path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return Status::IoError("cannot read " + local_path);
  std::string data = buffer.str();
  bool ascii = type == TransferType::kAscii;
  if (ascii) {
    // libcurl turns every LF into CR LF for an ASCII upload; a CR LF already
    // there would reach the server as CR CR LF and leave a stray CR in the
    // page, so it gets LF-only text.
    std::string lf;
    lf.reserve(data.size());
    for (size_t i = 0; i < data.size(); ++i)
      if (!(data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')) lf += data[i];
    data.swap(lf);
  }

  std::string target = Absolute(remote_path);
  std::string temporary = TemporaryUploadPath(target);
  Perform p;
  p.url = UrlFor(temporary, false);
  p.upload = &data;
  p.ascii = ascii;
  if (endpoint_.security == Security::kSsh) {
    // SFTP's rename does not replace an existing file.
    p.postquote = {"*rm " + QuotedPath(target),
                   "rename " + QuotedPath(temporary) + " " + QuotedPath(target)};
  } else {
    p.postquote = {"RNFR " + temporary, "RNTO " + target};
  }
  Status status = Run(p);
  if (status.ok() || p.code != CURLE_QUOTE_ERROR) return status;

  // The data arrived but the server refused the rename (some hosts allow no
  // renames, or no names starting with "."): leave nothing behind and send
  // the file straight to its name, which is what such a server allows.
  Delete(temporary);
  Perform direct;
  direct.url = UrlFor(target, false);
  direct.upload = &data;
  direct.ascii = ascii;
  return Run(direct);
}

Status FtpConnection::Delete(const std::string& remote_path) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  std::string target = Absolute(remote_path);
  Perform p;
  p.url = UrlFor(ParentOf(target), true);
  p.nobody = true;
  p.quote = {(endpoint_.security == Security::kSsh ? "rm " : "DELE ") + QuotedPath(target)};
  return Run(p);
}

void FtpConnection::Close() {
  if (handle_) curl_easy_cleanup(Handle(handle_));
  handle_ = curl_easy_init();
}

}  // namespace sonavelt::remote
