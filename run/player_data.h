#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/folder_io.h"
#include "base/status.h"
#include "run/resource_text.h"
#include "transport/page_transport.h"

// The files the run writes beside the page for the browser player
// (sonavelt-player.js), next to the resource file:
//
// BASE.sounds.js, loaded by the page's block before the player. Small; it
// spares the player a request for the resource file and tells it, per
// sound, the browser copy to prefer and the copy's exact length:
//   (window.SonaveltPlayerData = window.SonaveltPlayerData || {})["BASE"] = {
//   "format": 1,
//   "firstRunBodyEdit": "bgcolor",
//   "resource": "<base64 of BASE.res>",
//   "sounds": [{"au": "audio/x.au", "copy": "audio/x.opus", "frames": 96000}, ...]
//   [, "found": ["audio/y.au", ...]]};
// "copy" is "" for a sound without one; "frames" is the copy's length in
// sample frames at 48 kHz (0 without a copy). "found", only when there is
// any, names the files the run found in audio/ with the bytes it needed and
// used as they were: files of the user's that no page placed, which a later
// run never replaces and a removal never takes away (folder_usage.h).
// "firstRunBodyEdit" is not the player's (it reads "resource" and "sounds"
// only): it keeps what the run that first put the block into the page did
// to its BODY tag (html::BodyEditName), for taking the player off again;
// absent when that is not known. A page without the browser player gets this file too (its
// block does not load it), for the record.
//
// BASE.local.js, read by the player only when the page is opened from disk,
// where browsers refuse to fetch files: every file the player may ask for,
// base64, keyed by the name it asks with:
//   (window.SonaveltPlayerFiles = window.SonaveltPlayerFiles || {})["BASE"] = {
//   "BASE.res": "...", "audio/x.au": "...", "audio/x.opus": "...", ...};
//
// In the texts BASE is the resource base name percent-encoded
// (PercentEncodeName), as the block's data-resource names it, and every name
// is 7-bit text; the files themselves take the plain base name, like the
// resource file, since that is what the page's relative addresses decode to.
namespace sonavelt::run {

// One sound of the run as the browser sees it.
struct BrowserSound {
  std::string au_name;    // as the resource file names it: "audio/" + encoded file name
  std::string au_path;    // the .au file on disk, for the local preview
  std::string copy_name;  // the browser copy, named like au_name; empty: none
  std::string copy_path;  // the copy on disk; empty: none
  uint64_t frame_count = 0;  // the copy's exact length in sample frames at 48 kHz
  // The .au / the copy was found in audio/ as the user's own file ("found").
  bool au_found = false;
  bool copy_found = false;
};

// Every .au of the run once, in combination order (entrance, exit,
// background), without copies.
std::vector<BrowserSound> BrowserSoundsOf(const ConvertedSounds& sounds);

std::string LocalPreviewScriptName(std::string_view encoded_resource_base_name);

// The text of BASE.sounds.js; an empty `first_run_body_edit` leaves its key
// out.
std::string PlayerDataText(std::string_view encoded_resource_base_name,
                           std::string_view resource_bytes,
                           const std::vector<BrowserSound>& sounds,
                           std::string_view first_run_body_edit = {});

// The "firstRunBodyEdit" a BASE.sounds.js text records; empty when it
// records none (or is not such a file).
std::string RecordedFirstRunBodyEdit(std::string_view data_text);

// The text of BASE.local.js from the resource bytes and the sounds' files.
// Fails, naming the file, when one cannot be read.
Status LocalPreviewText(std::string_view encoded_resource_base_name,
                        std::string_view resource_bytes,
                        const std::vector<BrowserSound>& sounds, std::string* text);

// BASE.sounds.js, and with `local_preview` BASE.local.js, as the files to
// put beside the page, appended to *files. Fails, naming the file, when a
// sound cannot be read for the local preview (the data file is appended
// all the same).
Status PlayerFiles(std::string_view resource_base_name, std::string_view resource_bytes,
                   const std::vector<BrowserSound>& sounds, bool local_preview,
                   std::vector<TextFile>* files, std::string_view first_run_body_edit = {});

// Writes BASE.sounds.js, and with `local_preview` BASE.local.js, into
// `folder` (each replaced whole, never half-written), reading the resource
// file's bytes from `resource_path`; appends each file written to `written`.
// Fails with the file and the reason; Status::Cancelled once `cancel` is set.
Status WritePlayerFiles(const std::string& folder, std::string_view resource_base_name,
                        const std::string& resource_path,
                        const std::vector<BrowserSound>& sounds, bool local_preview,
                        std::vector<std::string>* written,
                        const std::atomic<bool>* cancel = nullptr,
                        std::string_view first_run_body_edit = {});
// The same into an open folder (folder_io.h: the page's folder, where a
// link another user made is refused).
Status WritePlayerFiles(const file_io::FolderHandle& folder, std::string_view resource_base_name,
                        const std::string& resource_path,
                        const std::vector<BrowserSound>& sounds, bool local_preview,
                        std::vector<std::string>* written,
                        const std::atomic<bool>* cancel = nullptr,
                        std::string_view first_run_body_edit = {});

}  // namespace sonavelt::run
