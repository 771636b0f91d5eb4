#include "remote/ftp_connection.h"

#include <curl/curl.h>

#include "base/file_io.h"
#include "remote/messages.h"
#include "remote/ssh_host_key.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

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

// One reply of the server: the command it answers (PASS masked) and all its
// lines, joined by CR LF ("250 CWD command successful.").
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

// What the host-key check found when it refused a server.
enum class HostKeyProblem { kNone, kUnknown, kChanged, kNotPinned };

struct FtpConnection::Perform {
  // Request.
  const FtpEndpoint* endpoint = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  std::string url;
  bool nobody = false;
  bool fresh = false;
  std::vector<std::string> quote;
  std::vector<std::string> postquote;
  const std::string* upload = nullptr;  // the bytes to send
  std::string* sink = nullptr;          // what the server sends: a listing, a file
  // Transfer state, and what the handle points to while the request runs.
  size_t upload_offset = 0;
  bool sink_failed = false;
  std::string known_hosts;
  std::unique_ptr<curl_slist, SlistDeleter> quote_list;
  std::unique_ptr<curl_slist, SlistDeleter> postquote_list;
  // Results.
  HostKeyProblem host_key_problem = HostKeyProblem::kNone;
  std::string host_key_fingerprint;
  std::string host_key_file;  // kChanged: the known-hosts file and line of the old key
  int host_key_line = 0;
  std::string certificate_names;  // FTPS: the names the server's certificate is for
  std::vector<Reply> replies;
  std::string last_command;
  std::string partial_line;
  std::vector<std::string> reply_lines;  // of a reply not yet complete
  bool key_unlock_failed = false;         // SFTP: the key file could not be read
  char error[CURL_ERROR_SIZE] = {};
  CURLcode code = CURLE_OK;

  const Reply* ReplyTo(std::string_view verb) const {
    for (auto it = replies.rbegin(); it != replies.rend(); ++it)
      if (it->command.compare(0, verb.size(), verb) == 0) return &*it;
    return nullptr;
  }
};

namespace {

bool StartsWithCode(const std::string& line) {
  return line.size() >= 4 && isdigit(static_cast<unsigned char>(line[0])) &&
         isdigit(static_cast<unsigned char>(line[1])) &&
         isdigit(static_cast<unsigned char>(line[2])) && (line[3] == ' ' || line[3] == '-');
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  if (type == CURLINFO_TEXT) {
    // libcurl's own notes; the one that matters is why the key did not log
    // in: libssh2 could not read (decrypt) the private key file.
    std::string note(data, size);
    if (note.find("public key authentication failed") != std::string::npos &&
        (note.find("passphrase") != std::string::npos ||
         note.find("private key") != std::string::npos))
      p->key_unlock_failed = true;
  } else if (type == CURLINFO_HEADER_OUT) {
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
      // A reply is every line from its first to the one that starts with
      // its code and a space ("ddd-" lines, and any between, continue it).
      if (p->reply_lines.empty() && !StartsWithCode(line)) continue;
      p->reply_lines.push_back(line);
      const std::string& first = p->reply_lines.front();
      if (StartsWithCode(line) && line[3] == ' ' && line.compare(0, 3, first, 0, 3) == 0) {
        Reply reply{p->last_command, std::stoi(line.substr(0, 3)), {}};
        for (const std::string& l : p->reply_lines)
          reply.line += (reply.line.empty() ? "" : "\r\n") + l;
        p->replies.push_back(std::move(reply));
        p->reply_lines.clear();
      }
    }
  }
  return 0;
}

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  size_t n = size * count;
  if (p->sink == nullptr) return n;
  try {
    p->sink->append(data, n);
  } catch (const std::bad_alloc&) {
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

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  // Non-zero makes libcurl stop the transfer with CURLE_ABORTED_BY_CALLBACK.
  return p->cancel != nullptr && p->cancel->load() ? 1 : 0;
}

// SFTP host keys: the fingerprint the user gave wins; else the program's own
// known-hosts file, then the user's (which libcurl has read: `match`).
int OnSshKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* user) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  std::string_view blob(found->key, found->len ? found->len : std::strlen(found->key));
  p->host_key_fingerprint = Sha256Fingerprint(blob);
  const FtpEndpoint& e = *p->endpoint;
  if (!e.ssh_host_key_sha256.empty()) {
    if (e.ssh_host_key_sha256 == p->host_key_fingerprint) return CURLKHSTAT_FINE;
    p->host_key_problem = HostKeyProblem::kNotPinned;
    return CURLKHSTAT_REJECT;
  }
  KnownHostMatch own = e.known_hosts_file.empty()
                           ? KnownHostMatch::kMissing
                           : FindKnownHost(e.known_hosts_file, e.server, e.port, blob);
  if (own == KnownHostMatch::kMismatch || match == CURLKHMATCH_MISMATCH) {
    p->host_key_problem = HostKeyProblem::kChanged;
    FindChangedHostKey(e.known_hosts_file, e.server, e.port, blob, &p->host_key_file,
                       &p->host_key_line);
    return CURLKHSTAT_REJECT;
  }
  if (own == KnownHostMatch::kMatch || match == CURLKHMATCH_OK) return CURLKHSTAT_FINE;
  p->host_key_problem = HostKeyProblem::kUnknown;
  return CURLKHSTAT_REJECT;
}

int OnSeek(void* user, curl_off_t offset, int origin) {
  auto* p = static_cast<FtpConnection::Perform*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<size_t>(offset) > p->upload->size())
    return CURL_SEEKFUNC_CANTSEEK;
  p->upload_offset = static_cast<size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

}  // namespace

namespace {

// Whether a server's words ask for TLS ("reconnect using TLS", "SSL required").
bool AsksForTls(const std::string& text) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : {"tls", "ssl", "encrypt", "secure"})
    if (lower.find(word) != std::string::npos) return true;
  return false;
}

// The names a certificate is for, from libcurl's certificate information:
// its subject's CN and its subject alternative names, as "a, b".
std::string CertificateNames(CURL* h) {
  curl_certinfo* info = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CERTINFO, &info) != CURLE_OK || !info ||
      info->num_of_certs < 1)
    return "";
  std::string names;
  auto add = [&](std::string name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == ',')) name.pop_back();
    if (!name.empty() && names.find(name) == std::string::npos)
      names += (names.empty() ? "" : ", ") + name;
  };
  for (curl_slist* field = info->certinfo[0]; field; field = field->next) {
    std::string line = field->data;
    if (line.rfind("Subject:", 0) == 0) {
      size_t cn = line.find("CN");
      if (cn != std::string::npos) {
        size_t start = line.find_first_not_of(" =", cn + 2);
        if (start != std::string::npos) add(line.substr(start, line.find_first_of(",/", start) - start));
      }
    } else if (line.rfind("X509v3 Subject Alternative Name:", 0) == 0) {
      std::string rest = line.substr(line.find(':') + 1);
      size_t at = 0;
      while ((at = rest.find_first_of("DI", at)) != std::string::npos) {
        for (const char* kind : {"DNS:", "IP Address:"}) {
          if (rest.compare(at, std::strlen(kind), kind) == 0) {
            size_t start = at + std::strlen(kind);
            size_t end = rest.find(',', start);
            add(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
          }
        }
        ++at;
      }
    }
  }
  return names;
}

}  // namespace

FtpConnection::FtpConnection(FtpEndpoint endpoint) : endpoint_(std::move(endpoint)) {
  GlobalInitOnce();
  handle_ = curl_easy_init();
  multi_ = curl_multi_init();
  if (multi_) curl_multi_setopt(static_cast<CURLM*>(multi_), CURLMOPT_MAXCONNECTS, 1L);
}

FtpConnection::~FtpConnection() {
  if (handle_) curl_easy_cleanup(Handle(handle_));
  if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

namespace {

// The longest the transfer loop sleeps without looking at the cancel flag or
// at libcurl: a socket libcurl did not hand to the wait is looked at again
// this soon (libcurl's own wait could idle for a whole second there).
constexpr int kPollMilliseconds = 20;

// Runs one transfer of `easy` on `multi` to its end; a set cancel flag ends
// it within kPollMilliseconds with CURLE_ABORTED_BY_CALLBACK.
CURLcode PerformOn(CURLM* multi, CURL* easy, const std::atomic<bool>* cancel) {
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    bool done = false;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    if (cancel != nullptr && cancel->load()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

}  // namespace

std::string FtpConnection::TemporaryUploadPath(const std::string& remote_path, bool dot_name,
                                               const std::string& tag) {
  size_t slash = remote_path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : remote_path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? remote_path : remote_path.substr(slash + 1);
  if (!tag.empty()) name += "." + tag;
  return dot_name ? folder + "." + name + ".part" : folder + name + ".sonavelt-part";
}

bool IsPermanentFailure(const Status& status) {
  return status.code() == Status::Code::kRefused || status.code() == Status::Code::kNotFound ||
         status.code() == Status::Code::kInvalidArgument;
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

namespace {

// Over SFTP with a key file, the password goes to libcurl only when the
// user asked for a password login as well: libcurl would offer it.
bool OffersPassword(const FtpEndpoint& e) {
  return e.security != Security::kSsh || e.ssh_private_key_file.empty() || e.ssh_password_login;
}

bool UsesTls(const FtpEndpoint& e) {
  return e.security == Security::kExplicitTls || e.security == Security::kImplicitTls;
}

// Where to go and who logs in.
void SetEndpointAndLogin(CURL* h, const FtpEndpoint& e, const FtpConnection::Perform& p) {
  curl_easy_setopt(h, CURLOPT_URL, p.url.c_str());
  if (!e.user_name.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, e.user_name.c_str());
    if (OffersPassword(e)) curl_easy_setopt(h, CURLOPT_PASSWORD, e.password.c_str());
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  if (p.fresh) curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
}

void SetTls(CURL* h, const FtpEndpoint& e) {
  if (!UsesTls(e)) return;
  curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  if (e.security == Security::kExplicitTls)
    curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  // Servers that require the data channel to resume the control channel's
  // TLS session (vsftpd's default) refuse a data channel that offers a
  // TLS 1.3 ticket which arrived after the handshake: with TLS 1.2 the
  // session is known when the handshake ends, and the cached session is
  // reused on every data connection.
  curl_easy_setopt(h, CURLOPT_SSLVERSION,
                   static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                       static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  curl_easy_setopt(h, CURLOPT_SSL_SESSIONID_CACHE, 1L);
  if (!e.ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, e.ca_file.c_str());
  // The certificate's names, for a message when they do not match the server's.
  curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
}

void SetSsh(CURL* h, const FtpEndpoint& e, FtpConnection::Perform& p) {
  if (e.security != Security::kSsh) return;
  // The passphrase unlocks the key on this machine (libssh2 reads the
  // file); it is never a password. A password login is offered only
  // without a key file, or when asked for.
  long auth = OffersPassword(e) ? CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD : 0;
  if (!e.ssh_private_key_file.empty()) {
    auth |= CURLSSH_AUTH_PUBLICKEY;
    curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, e.ssh_private_key_file.c_str());
    curl_easy_setopt(h, CURLOPT_KEYPASSWD, e.ssh_key_passphrase.c_str());
  }
  if (e.use_ssh_agent) auth |= CURLSSH_AUTH_AGENT;
  curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, auth);
  // libcurl reads the user's known_hosts (a missing file knows no host);
  // OnSshKey decides, with the pinned key and the program's own file.
  p.known_hosts = UserKnownHostsFile();
  curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, p.known_hosts.c_str());
  curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, OnSshKey);
  curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, &p);
}

void SetTimeoutsAndProgress(CURL* h, const FtpEndpoint& e, long connect_seconds,
                            long stall_seconds, FtpConnection::Perform& p) {
  // Contacting and logging in within the connect time; after that, no reply
  // and no data moving for the stall time is a lost connection.
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connect_seconds);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, stall_seconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stall_seconds);
  if (e.max_send_bytes_per_second > 0) {
    curl_easy_setopt(h, CURLOPT_MAX_SEND_SPEED_LARGE,
                     static_cast<curl_off_t>(e.max_send_bytes_per_second));
    // Small chunks, so that the cap holds within a small file too.
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 16384L);
  }
  // The progress hook checks the cancel flag inside libcurl's work; the
  // transfer loop (PerformOn) checks it between its short waits.
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &p);
}

// The debug hook is how the server's replies are paired with the commands
// they answer; nothing is printed.
void SetReplyCollection(CURL* h, FtpConnection::Perform& p) {
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, p.error);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &p);
}

// What moves: nothing (NOBODY), the server's bytes into the sink, or ours
// up; and the commands sent before and after.
void SetTransfer(CURL* h, FtpConnection::Perform& p) {
  if (p.nobody) curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &p);
  if (p.upload) {
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &p);
    curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, OnSeek);
    curl_easy_setopt(h, CURLOPT_SEEKDATA, &p);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(p.upload->size()));
  }
  p.quote_list.reset(MakeSlist(p.quote));
  p.postquote_list.reset(MakeSlist(p.postquote));
  if (p.quote_list) curl_easy_setopt(h, CURLOPT_QUOTE, p.quote_list.get());
  if (p.postquote_list) curl_easy_setopt(h, CURLOPT_POSTQUOTE, p.postquote_list.get());
}

// Leaves no pointer to a finished request's buffers in the handle.
void ForgetRequest(CURL* h) {
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
  curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr);
}

}  // namespace

Status FtpConnection::Run(Perform& p) {
  if (!has_session()) return Status::IoError("cannot create a libcurl handle");
  CURL* h = Handle(handle_);
  p.endpoint = &endpoint_;
  p.cancel = cancel_flag_;
  // reset clears the options of the last request; the open connection stays.
  curl_easy_reset(h);
  SetEndpointAndLogin(h, endpoint_, p);
  SetTls(h, endpoint_);
  SetSsh(h, endpoint_, p);
  SetTimeoutsAndProgress(h, endpoint_, ConnectSeconds(), StallSeconds(), p);
  SetReplyCollection(h, p);
  SetTransfer(h, p);
  p.code = PerformOn(static_cast<CURLM*>(multi_), h, cancel_flag_);
  if (p.code == CURLE_PEER_FAILED_VERIFICATION) p.certificate_names = CertificateNames(h);
  ForgetRequest(h);
  if (p.code == CURLE_OK) return Status::Ok();
  return Explain(p);
}

namespace {

using Perform = FtpConnection::Perform;

std::optional<Status> HostKeyRefusal(const FtpEndpoint& e, const Perform& p) {
  switch (p.host_key_problem) {
    case HostKeyProblem::kNone: break;
    case HostKeyProblem::kUnknown:
      return Status::Refused(UnknownHostKeyText(e.server, p.host_key_fingerprint));
    case HostKeyProblem::kChanged:
      return Status::Refused(
          ChangedHostKeyText(e.server, p.host_key_fingerprint, p.host_key_file, p.host_key_line));
    case HostKeyProblem::kNotPinned:
      return Status::Refused(
          HostKeyNotPinnedText(e.server, p.host_key_fingerprint, e.ssh_host_key_sha256));
  }
  return std::nullopt;
}

// A 421 is the server closing the session: quoted as its refusal, whatever
// libcurl made of the closed connection afterwards (often a time-out).
std::optional<Status> SessionClosed(const FtpEndpoint& e, const Perform& p) {
  for (const Reply& reply : p.replies) {
    if (reply.code != 421) continue;
    bool tls = AsksForTls(reply.line) && e.security == Security::kPlain;
    std::string text = SessionRefusedText(e.server, reply.line, tls);
    return tls ? Status::Refused(text) : Status::IoError(text);
  }
  return std::nullopt;
}

std::optional<Status> SshLoginRefusal(const FtpEndpoint& e, const Perform& p) {
  if (e.security != Security::kSsh || p.code != CURLE_LOGIN_DENIED) return std::nullopt;
  if (p.key_unlock_failed) return Status::Refused(KeyNotUnlockedText(e.ssh_private_key_file));
  if (!e.ssh_private_key_file.empty() && !e.ssh_password_login)
    return Status::Refused(KeyRefusedText(e.server, e.user_name, e.ssh_private_key_file));
  return Status::Refused(
      LoginRefusedText(e.server, e.user_name, "The server refused the credentials."));
}

// Time running out, and certificates that are not trusted; `error` is
// libcurl's text.
std::optional<Status> TimeOrTrustFailure(const FtpEndpoint& e, const Perform& p,
                                         const std::string& error, int connect_seconds,
                                         int stall_seconds) {
  if (p.code == CURLE_OPERATION_TIMEDOUT) {
    // Too slow: data stopped moving; a missing reply after the login, the
    // same; anything else is the connect (and login) time running out.
    bool stalled = error.find("too slow") != std::string::npos ||
                   error.find("response") != std::string::npos;
    return Status::IoError(stalled ? StalledText(stall_seconds)
                                   : ConnectTimeoutText(e.server, connect_seconds));
  }
  if (p.code == CURLE_PEER_FAILED_VERIFICATION &&
      (error.find("host name") != std::string::npos ||
       error.find("subject name") != std::string::npos))
    return Status::Refused(CertificateNameText(e.server, p.certificate_names));
  if (p.code == CURLE_PEER_FAILED_VERIFICATION || p.code == CURLE_SSL_CACERT_BADFILE ||
      p.code == CURLE_SSL_CERTPROBLEM)
    return Status::Refused(UntrustedCertificateText(e.server, error));
  return std::nullopt;
}

// The reply of the command that failed: the last error reply (a refusal of
// a quote command marked "*" comes earlier and is not the failure).
const Reply* FailedReply(const Perform& p) {
  for (auto it = p.replies.rbegin(); it != p.replies.rend(); ++it)
    if (it->code >= 400) return &*it;
  return nullptr;
}

// Without a reply to quote, the program's own words for what happened;
// empty when libcurl's are all there is.
std::string OwnWords(const FtpEndpoint& e, CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT: return ConnectRefusedText(e.server, e.port);
    case CURLE_COULDNT_RESOLVE_HOST: return UnknownServerText(e.server);
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSH:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_SSL_CONNECT_ERROR:
      return ConnectionLostText(e.server);
    default: return std::string();
  }
}

// Whether the server will not do it (Refused, NotFound) or a later try may
// (IoError), from the failed command's reply, else from libcurl's code.
Status Classify(bool ssh, CURLcode code, const Reply* failed, const std::string& text) {
  if (failed) {
    // 4xx: try again later; 5xx: the server will not do it.
    if (failed->code < 500) return Status::IoError(text);
    return code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED
               ? Status::NotFound(text)
               : Status::Refused(text);
  }
  switch (code) {
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
      return Status::NotFound(text);
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_DISK_FULL:
      // Over SFTP these are the server's answers (permission, quota, a
      // refused rename); over FTP they came with a reply, handled above.
      return ssh ? Status::Refused(text) : Status::IoError(text);
    default:
      return Status::IoError(text);
  }
}

}  // namespace

Status FtpConnection::Explain(const Perform& p) const {
  if (p.code == CURLE_ABORTED_BY_CALLBACK) return Status::Cancelled();
  if (p.sink_failed) return Status::IoError("the download does not fit in memory");
  const std::string error = p.error[0] ? p.error : curl_easy_strerror(p.code);
  if (auto refused = HostKeyRefusal(endpoint_, p)) return *refused;
  if (auto closed = SessionClosed(endpoint_, p)) return *closed;
  if (auto refused = SshLoginRefusal(endpoint_, p)) return *refused;
  if (auto failed = TimeOrTrustFailure(endpoint_, p, error, ConnectSeconds(), StallSeconds()))
    return *failed;
  const Reply* failed = FailedReply(p);
  // vsftpd ("530 ... must use encryption") and proftpd ("550 SSL/TLS
  // required") refuse a cleartext login rather than the session: no password
  // can help, TLS can.
  if (p.code == CURLE_LOGIN_DENIED && failed && endpoint_.security == Security::kPlain &&
      AsksForTls(failed->line))
    return Status::Refused(SessionRefusedText(endpoint_.server, failed->line, true));
  if (p.code == CURLE_LOGIN_DENIED)
    return Status::Refused(
        LoginRefusedText(endpoint_.server,
                         endpoint_.user_name.empty() ? "anonymous" : endpoint_.user_name,
                         failed ? failed->line : std::string("The server refused the login.")));
  const std::string own = OwnWords(endpoint_, p.code);
  const std::string text = failed ? failed->line : !own.empty() ? own : error;
  return Classify(endpoint_.security == Security::kSsh, p.code, failed, text);
}

int FtpConnection::ConnectSeconds() const {
  return endpoint_.connect_timeout_seconds > 0 ? endpoint_.connect_timeout_seconds : 15;
}

int FtpConnection::StallSeconds() const {
  return endpoint_.stall_timeout_seconds > 0 ? endpoint_.stall_timeout_seconds : 30;
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
  if (reply && reply->code >= 500) return Status::Refused(reply->line);
  if (reply && reply->code >= 300) return Status::IoError(reply->line);
  return Status::Ok();
}

Status FtpConnection::List(const std::string& folder, std::vector<RemoteEntry>* entries) {
  entries->clear();
  if (HasLineBreakOrNul(folder)) return Status::InvalidArgument("bad remote path");
  Perform p;
  std::string text;
  p.url = UrlFor(Absolute(folder), true);
  p.sink = &text;
  Status status = Run(p);
  if (!status.ok()) return status;
  *entries = ParseListing(text);
  return Status::Ok();
}

Status FtpConnection::Download(const std::string& remote_path, std::string* bytes) {
  bytes->clear();
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  Perform p;
  p.url = UrlFor(Absolute(remote_path), false);
  p.sink = bytes;
  Status status = Run(p);
  if (!status.ok()) bytes->clear();
  return status;
}

Status FtpConnection::Download(const std::string& remote_path, const std::string& local_path) {
  std::string bytes;
  Status status = Download(remote_path, &bytes);
  if (!status.ok()) return status;
  status = file_io::WriteFileAtomically(local_path, bytes, cancel_flag_);
  if (status.ok() || status.cancelled()) return status;
  return Status::IoError("writing " + local_path + ": " + status.message());
}

Status FtpConnection::Replace(const std::string& complete, const std::string& target) {
  Status status = Rename(complete, target);
  if (status.ok() || endpoint_.security != Security::kSsh || !IsPermanentFailure(status))
    return status;
  // SFTP's rename does not replace a file (the server has no overwriting
  // rename for us): the old file steps aside under a backup name, the new
  // one takes its place, and only then is the old one deleted. Were the
  // second rename refused, the old file goes back.
  bool exists = false;
  if (!Exists(target, &exists).ok() || !exists) return status;
  std::string backup = BackupPath(Absolute(target));
  static_cast<void>(Delete(backup));  // a stale one would refuse the rename below, which says so
  Status aside = Rename(target, backup);
  if (!aside.ok()) return aside;
  status = Rename(complete, target);
  if (!status.ok()) {
    // Put back, or the message says where the old file is.
    if (!Rename(backup, target).ok() && !status.cancelled())
      return Status::IoError(status.message() + OldFileKeptText(backup));
    return status;
  }
  static_cast<void>(Delete(backup));  // the new file is in place; a left backup is replaced next time
  return Status::Ok();
}

std::string FtpConnection::BackupPath(const std::string& remote_path, bool dot_name) {
  size_t slash = remote_path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : remote_path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? remote_path : remote_path.substr(slash + 1);
  return dot_name ? folder + "." + name + ".old" : folder + name + ".sonavelt-old";
}

Status FtpConnection::Store(const std::string& data, const std::string& remote_path,
                            int64_t* stored_size) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  if (stored_size) *stored_size = -1;
  std::string target = Absolute(remote_path);
  Perform p;
  p.url = UrlFor(target, false);
  p.upload = &data;
  // FTP: the size the server stored, asked on the same round of commands
  // ("*": a server without SIZE is no failure).
  bool ask_size = stored_size && endpoint_.security != Security::kSsh;
  if (ask_size) p.postquote = {"*SIZE " + target};
  Status status = Run(p);
  if (!status.ok() || !stored_size) return status;
  if (!ask_size) {
    int64_t size = -1;
    if (Size(target, &size).ok()) *stored_size = size;
    return status;
  }
  const Reply* reply = p.ReplyTo("SIZE ");
  if (reply && reply->code == 213) {
    int64_t size = -1;
    const char* digits = reply->line.data() + 4;
    const char* end = reply->line.data() + reply->line.size();
    if (std::from_chars(digits, end, size).ec == std::errc()) *stored_size = size;
  }
  return status;
}

Status FtpConnection::Size(const std::string& remote_path, int64_t* size) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  *size = -1;
  Perform p;
  p.url = UrlFor(Absolute(remote_path), false);
  p.nobody = true;
  Status status = Run(p);
  if (!status.ok()) return status;
  curl_off_t length = -1;
  curl_easy_getinfo(Handle(handle_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) return Status::Refused("the server does not tell the size of " + remote_path);
  *size = static_cast<int64_t>(length);
  return Status::Ok();
}

Status FtpConnection::ListSizes(const std::string& folder, std::vector<ListedFile>* files) {
  files->clear();
  if (HasLineBreakOrNul(folder)) return Status::InvalidArgument("bad remote path");
  if (endpoint_.security == Security::kSsh)
    return Status::Refused("no listing over SFTP's control");
  std::string target = Absolute(folder);
  Perform p;
  p.url = UrlFor(target, true);
  p.nobody = true;
  // "*": a server without STAT is no failure of the connection.
  p.quote = {"*STAT " + target};
  Status status = Run(p);
  if (!status.ok()) return status;
  const Reply* reply = p.ReplyTo("STAT ");
  if (!reply || reply->code < 200 || reply->code >= 300)
    return Status::Refused(reply ? reply->line : std::string("no reply to STAT"));
  *files = ParseListedFiles(reply->line);
  return Status::Ok();
}

Status FtpConnection::Rename(const std::string& from, const std::string& to) {
  if (HasLineBreakOrNul(from) || HasLineBreakOrNul(to))
    return Status::InvalidArgument("bad remote path");
  std::string source = Absolute(from), target = Absolute(to);
  Perform p;
  p.url = UrlFor(ParentOf(target), true);
  p.nobody = true;
  if (endpoint_.security == Security::kSsh) {
    p.quote = {"rename " + QuotedPath(source) + " " + QuotedPath(target)};
  } else {
    p.quote = {"RNFR " + source, "RNTO " + target};
  }
  return Run(p);
}

Status FtpConnection::Exists(const std::string& remote_path, bool* exists) {
  *exists = false;
  std::string target = Absolute(remote_path);
  std::vector<RemoteEntry> entries;
  Status status = List(ParentOf(target), &entries);
  if (!status.ok()) return status;
  std::string name = target.substr(target.rfind('/') + 1);
  for (const RemoteEntry& entry : entries)
    if (entry.name == name) *exists = true;
  return Status::Ok();
}

Status FtpConnection::Delete(const std::string& remote_path) {
  return RemoveEntry(remote_path, "rm", "DELE");
}

Status FtpConnection::RemoveDirectory(const std::string& remote_path) {
  return RemoveEntry(remote_path, "rmdir", "RMD");
}

Status FtpConnection::RemoveEntry(const std::string& remote_path, const char* sftp_command,
                                  const char* ftp_command) {
  if (HasLineBreakOrNul(remote_path)) return Status::InvalidArgument("bad remote path");
  std::string target = Absolute(remote_path);
  Perform p;
  p.url = UrlFor(ParentOf(target), true);
  p.nobody = true;
  if (endpoint_.security == Security::kSsh) {
    p.quote = {std::string(sftp_command) + " " + QuotedPath(target)};
    return Run(p);
  }
  // "*": a refusal (no such file, a folder not empty) must not close the
  // connection, which would cost the next operation a login.
  const std::string command = std::string(ftp_command) + " ";
  p.quote = {"*" + command + target};
  Status status = Run(p);
  if (!status.ok()) return status;
  const Reply* reply = p.ReplyTo(command);
  if (reply && reply->code >= 500) return Status::Refused(reply->line);
  if (reply && reply->code >= 300) return Status::IoError(reply->line);
  return Status::Ok();
}

void FtpConnection::Close() {
  if (handle_) curl_easy_cleanup(Handle(handle_));
  handle_ = curl_easy_init();
  // The connection lives in the multi handle's cache: a new one forgets it.
  if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
  multi_ = curl_multi_init();
  if (multi_) curl_multi_setopt(static_cast<CURLM*>(multi_), CURLMOPT_MAXCONNECTS, 1L);
}

}  // namespace sonavelt::remote
