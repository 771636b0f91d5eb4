#include "run/player_data.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/file_io.h"
#include "base/text.h"
#include "run/applet_block.h"
#include "run/startup.h"

namespace sonavelt::run {


namespace {

constexpr char kFirstRunBodyEditKey[] = "\"firstRunBodyEdit\"";

constexpr char kBase64Digits[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                 (static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]);
    out += kBase64Digits[v >> 18];
    out += kBase64Digits[(v >> 12) & 63];
    out += kBase64Digits[(v >> 6) & 63];
    out += kBase64Digits[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kBase64Digits[v >> 18];
    out += kBase64Digits[(v >> 12) & 63];
    out += rest == 2 ? kBase64Digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// A JSON string. The names are percent-encoded 7-bit text already; quotes,
// backslashes, controls and "<" (a "</script>" inside would end an inline
// copy of the file) are escaped all the same.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == '<' || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

// As the resource file names a sound (ResourceText).
std::string AudioEntryName(const std::string& path) {
  return "audio/" + PercentEncodeName(FileNameOfPath(path));
}

}  // namespace

std::vector<BrowserSound> BrowserSoundsOf(const ConvertedSounds& sounds) {
  std::vector<BrowserSound> out;
  std::set<std::string> seen;
  size_t count = std::max({sounds.entrance.size(), sounds.exit.size(), sounds.background.size()});
  for (size_t k = 0; k < count; ++k) {
    for (const std::vector<std::string>* list : {&sounds.entrance, &sounds.exit, &sounds.background}) {
      if (k >= list->size() || (*list)[k].empty()) continue;
      BrowserSound sound;
      sound.au_path = (*list)[k];
      sound.au_name = AudioEntryName(sound.au_path);
      if (seen.insert(sound.au_name).second) out.push_back(std::move(sound));
    }
  }
  return out;
}

std::string LocalPreviewScriptName(std::string_view encoded_resource_base_name) {
  return std::string(encoded_resource_base_name) + ".local.js";
}

std::string PlayerDataText(std::string_view encoded_resource_base_name,
                           std::string_view resource_bytes,
                           const std::vector<BrowserSound>& sounds,
                           std::string_view first_run_body_edit) {
  std::string text =
      "/* Sonavelt: the sounds of this page for sonavelt-player.js; written by each run. */\n"
      "(window.SonaveltPlayerData = window.SonaveltPlayerData || {})[" +
      JsonString(encoded_resource_base_name) + "] = {\n\"format\": 1,\n";
  if (!first_run_body_edit.empty())
    text += std::string(kFirstRunBodyEditKey) + ": " + JsonString(first_run_body_edit) + ",\n";
  text += "\"resource\": \"" + Base64(resource_bytes) + "\",\n\"sounds\": [";
  for (size_t i = 0; i < sounds.size(); ++i) {
    const BrowserSound& s = sounds[i];
    text += i == 0 ? "\n" : ",\n";
    text += "{\"au\": " + JsonString(s.au_name) + ", \"copy\": " + JsonString(s.copy_name) +
            ", \"frames\": " + std::to_string(s.copy_name.empty() ? 0 : s.frame_count) + "}";
  }
  text += "]";
  std::string found;
  for (const BrowserSound& s : sounds) {
    if (s.au_found) found += (found.empty() ? "" : ", ") + JsonString(s.au_name);
    if (s.copy_found && !s.copy_name.empty())
      found += (found.empty() ? "" : ", ") + JsonString(s.copy_name);
  }
  if (!found.empty()) text += ",\n\"found\": [" + found + "]";
  text += "};\n";
  return text;
}

std::string RecordedFirstRunBodyEdit(std::string_view data_text) {
  // Only the file's head, before the sounds: the key comes right after
  // "format", and a name in the sound list must not pass for it.
  const size_t sounds = data_text.find("\"sounds\":");
  const std::string_view head = data_text.substr(0, sounds);
  if (head.find("SonaveltPlayerData") == std::string_view::npos) return std::string();
  const std::string key = std::string(kFirstRunBodyEditKey) + ": \"";
  const size_t at = head.find(key);
  if (at == std::string_view::npos) return std::string();
  const size_t begin = at + key.size();
  const size_t end = head.find('"', begin);
  if (end == std::string_view::npos) return std::string();
  std::string name(head.substr(begin, end - begin));
  // Names are plain words ("bgcolor", "body-html"); anything else is not ours.
  if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") != std::string::npos) return std::string();
  return name;
}

Status LocalPreviewText(std::string_view encoded_resource_base_name,
                        std::string_view resource_bytes,
                        const std::vector<BrowserSound>& sounds, std::string* text) {
  std::string out =
      "/* Sonavelt: this page's sounds for playing it from disk; written by each run. */\n"
      "(window.SonaveltPlayerFiles = window.SonaveltPlayerFiles || {})[" +
      JsonString(encoded_resource_base_name) + "] = {\n";
  out += JsonString(std::string(encoded_resource_base_name) + ".res") + ": \"" +
         Base64(resource_bytes) + "\"";
  for (const BrowserSound& s : sounds) {
    for (auto [name, path] : {std::pair{&s.au_name, &s.au_path}, std::pair{&s.copy_name, &s.copy_path}}) {
      if (name->empty() || path->empty()) continue;
      std::string bytes;
      Status read = file_io::ReadWholeFile(*path, &bytes);
      if (!read.ok()) return Status::IoError("reading " + *path + ": " + read.message());
      out += ",\n" + JsonString(*name) + ": \"" + Base64(bytes) + "\"";
    }
  }
  out += "};\n";
  *text = std::move(out);
  return Status::Ok();
}

Status WritePlayerFiles(const std::string& folder, std::string_view resource_base_name,
                        const std::string& resource_path,
                        const std::vector<BrowserSound>& sounds, bool local_preview,
                        std::vector<std::string>* written, const std::atomic<bool>* cancel,
                        std::string_view first_run_body_edit) {
  file_io::FolderHandle handle;
  Status opened = file_io::FolderHandle::Open(folder, &handle);
  if (!opened.ok()) return Status::IoError("writing into " + folder + ": " + opened.message());
  return WritePlayerFiles(handle, resource_base_name, resource_path, sounds, local_preview,
                          written, cancel, first_run_body_edit);
}

Status PlayerFiles(std::string_view resource_base_name, std::string_view resource_bytes,
                   const std::vector<BrowserSound>& sounds, bool local_preview,
                   std::vector<TextFile>* files, std::string_view first_run_body_edit) {
  const std::string encoded = PercentEncodeName(resource_base_name);
  // The page asks for the encoded name, which the server (or the file: URL)
  // decodes back to the plain one: the files take plain names, like the
  // resource file.
  const std::string plain(resource_base_name);
  files->push_back({PlayerDataScriptName(plain),
                    PlayerDataText(encoded, resource_bytes, sounds, first_run_body_edit)});
  if (!local_preview) return Status::Ok();
  TextFile preview{LocalPreviewScriptName(plain), std::string()};
  Status status = LocalPreviewText(encoded, resource_bytes, sounds, &preview.bytes);
  if (status.ok()) files->push_back(std::move(preview));
  return status;
}

Status WritePlayerFiles(const file_io::FolderHandle& folder, std::string_view resource_base_name,
                        const std::string& resource_path,
                        const std::vector<BrowserSound>& sounds, bool local_preview,
                        std::vector<std::string>* written, const std::atomic<bool>* cancel,
                        std::string_view first_run_body_edit) {
  std::string resource;
  Status read = file_io::ReadWholeFile(resource_path, &resource, cancel);
  if (read.code() == Status::Code::kCancelled) return read;
  if (!read.ok()) return Status::IoError("reading " + resource_path + ": " + read.message());
  std::vector<TextFile> files;
  Status made = PlayerFiles(resource_base_name, resource, sounds, local_preview, &files,
                            first_run_body_edit);
  for (const TextFile& file : files) {
    std::string path = folder.PathOf(file.name);
    Status status = folder.Write(file.name, file.bytes, cancel);
    if (status.code() == Status::Code::kCancelled) return status;
    if (!status.ok()) return Status::IoError("writing " + path + ": " + status.message());
    written->push_back(path);
  }
  return made;
}

}  // namespace sonavelt::run
