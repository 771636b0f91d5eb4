#include "remote/ssh_host_key.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace sonavelt::remote {
namespace {

// SHA-256 (FIPS 180-4), enough for fingerprints of a few hundred bytes.
constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

std::array<uint8_t, 32> Sha256(std::string_view data) {
  std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string message(data);
  uint64_t bit_length = static_cast<uint64_t>(data.size()) * 8;
  message += static_cast<char>(0x80);
  while (message.size() % 64 != 56) message += '\0';
  for (int i = 7; i >= 0; --i) message += static_cast<char>((bit_length >> (8 * i)) & 0xff);

  for (size_t block = 0; block < message.size(); block += 64) {
    std::array<uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i) {
      for (int b = 0; b < 4; ++b)
        w[i] = (w[i] << 8) | static_cast<uint8_t>(message[block + 4 * i + b]);
    }
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; ++i) {
      uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      uint32_t choose = (e & f) ^ (~e & g);
      uint32_t t1 = k + s1 + choose + kRoundConstants[i] + w[i];
      uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      uint32_t t2 = s0 + majority;
      k = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d;
    h[4] += e; h[5] += f; h[6] += g; h[7] += k;
  }
  std::array<uint8_t, 32> digest{};
  for (int i = 0; i < 8; ++i)
    for (int b = 0; b < 4; ++b) digest[4 * i + b] = static_cast<uint8_t>(h[i] >> (24 - 8 * b));
  return digest;
}

struct HostKeyProbe {
  std::string fingerprint;
};

int OnHostKey(void* user, int, const char* key, size_t length) {
  static_cast<HostKeyProbe*>(user)->fingerprint = Sha256Fingerprint(std::string_view(key, length));
  // Reading the key is all this contact is for: go no further.
  return CURLKHMATCH_MISMATCH;
}

}  // namespace

std::string Sha256Fingerprint(std::string_view key_blob) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<uint8_t, 32> digest = Sha256(key_blob);
  std::string out;
  for (size_t i = 0; i < digest.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(digest[i]) << 16;
    size_t n = std::min<size_t>(3, digest.size() - i);
    if (n > 1) group |= static_cast<uint32_t>(digest[i + 1]) << 8;
    if (n > 2) group |= digest[i + 2];
    for (size_t c = 0; c < n + 1; ++c) out += kAlphabet[(group >> (18 - 6 * c)) & 0x3f];
  }
  return out;
}

Status ReadSshHostKey(const std::string& server, uint16_t port, int timeout_seconds,
                      std::string* fingerprint) {
  CURL* h = curl_easy_init();
  if (!h) return Status::IoError("cannot create a libcurl handle");
  bool ipv6 = server.find(':') != std::string::npos && server.front() != '[';
  std::string url = "sftp://" + (ipv6 ? "[" + server + "]" : server) + ":" +
                    std::to_string(port) + "/";
  HostKeyProbe probe;
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout_seconds));
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYFUNCTION, OnHostKey);
  curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYDATA, &probe);
  CURLcode code = curl_easy_perform(h);
  curl_easy_cleanup(h);
  if (probe.fingerprint.empty())
    return Status::IoError(error[0] ? error : curl_easy_strerror(code));
  *fingerprint = probe.fingerprint;
  return Status::Ok();
}

}  // namespace sonavelt::remote
