#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The run's own messages for failures the page and file work can meet,
// shared by the wizard and the command line. Texts use "\r\n" line ends.
namespace sonavelt::run {

// The page, or another file the run reads, cannot be read.
std::string CannotReadFileMessage(const std::string& path, const std::string& reason);
// A file the run writes (the page, the resource file, the settings page)
// cannot be written; the page, if already there, is left as it was.
std::string CannotWriteFileMessage(const std::string& path, const std::string& reason);
// The machine ran out of memory during a run (the front ends catch it at
// their edge rather than abort).
std::string OutOfMemoryMessage();
// A converted sound is missing after its conversion (the conversion has told
// why, or was stopped).
std::string ConvertedSoundMissingMessage(const std::string& sound_path,
                                         const std::string& au_path);
// Copies beside the page that failed, one line each ("<from> -> <to>: why").
std::string CopyFailedMessage(const std::vector<std::string>& failures);
// The settings file could not be written: the run's choices, or the
// remembered addresses, are not kept for the next program run.
std::string ChoicesNotStoredMessage(const std::string& settings_file);
std::string AddressNotRememberedMessage(const std::string& settings_file);
// The applet class file is not in the install folder.
std::string AppletClassMissingMessage(const std::string& class_path);
// The browser player is not in the install folder (asked for by the run's
// options).
std::string PlayerScriptMissingMessage(const std::string& script_path);
// A remote page asked of a run that has no way to reach the site.
std::string RemoteUnavailableMessage(const std::string& site);

// A run that stopped before replacing the page: the page is as it was, and
// `placed` (full paths, possibly none) are the files the run put beside it,
// counted ("These 3 files were put beside it:") and listed one a line, each
// line starting with a tab (a front end may show the list apart).
std::string PageKeptMessage(const std::string& page, const std::vector<std::string>& placed);
// The page (or the file its link points to) may not be written by this user.
std::string PageReadOnlyMessage(const std::string& page);
// Another run holds the page's lock and did not let go in time.
std::string PageBusyMessage(const std::string& page);
// The status text while waiting for another run on the same page.
std::string WaitingForPageText(const std::string& page_name);
// The page's lock file cannot be made (`reason`: the system's words).
std::string PageLockFailedMessage(const std::string& page, const std::string& lock_folder,
                                  const std::string& reason);
// A file beside the page is a symbolic link that another user made, which
// the run will not write through.
std::string ForeignLinkMessage(const std::string& page, const std::string& link);
// Another run holds the lock of the page's folder and did not let go in time.
std::string FolderBusyMessage(const std::string& page, const std::string& folder);
// The status text while waiting for another run in the page's folder.
std::string WaitingForFolderText(const std::string& folder);
// The user's copy of the sample page (`copy`) cannot be made from the
// install folder's (`shipped`).
std::string SampleCopyFailedMessage(const std::string& copy, const std::string& shipped,
                                    const std::string& reason);
// Taking the sounds off a page (page_removal.h): the question the wizard
// asks first; no record of the first run's BODY edit in `data_file`; the
// page restored but `failures` ("<file>: why") left; a site step failed
// before the page was replaced.
std::string RemoveSoundsQuestion(const std::string& page);
// The sounds are off `page`, and `files` files beside it went with them.
std::string SoundsRemovedMessage(const std::string& page, size_t files);
std::string NoBodyEditRecordMessage(const std::string& page, const std::string& data_file);
std::string FilesNotRemovedMessage(const std::string& page, const std::vector<std::string>& failures);
std::string SiteNotChangedMessage(const std::string& reason);
// The run's private work folder cannot be made in `parent`.
std::string WorkFolderFailedMessage(const std::string& parent, const std::string& reason);

}  // namespace sonavelt::run
