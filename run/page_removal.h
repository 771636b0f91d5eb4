#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "base/status.h"
#include "run/run_inputs.h"
#include "transport/page_transport.h"

// Taking the sounds off a page again: the undo of the runs on it.
//
// The page loses its player block and the BODY edit the run that first put
// the block in made (recorded in the page's data file, BASE.sounds.js; see
// player_data.h), so a page nobody else changed is byte for byte the page
// before its first run. Then the page's own files go: BASE.res,
// BASE.sounds.js and BASE.local.js, the sounds and browser copies in audio/
// that no other page of the folder uses (folder_usage.h), the class file
// and the player script once no page uses them, and audio/ itself when
// this removal emptied it (on a site, the server refuses a folder that still
// holds anything).
//
// It is a transaction like a run, with the run's safety: the page's lock
// (TargetLock) for its whole length, a private work folder, nothing written
// before the page is known to carry a block. The page goes first, replaced
// in one rename (a local page through its links, keeping mode and owner),
// so it never names a file that is gone; the files follow. A failure before
// the page leaves everything as it was; one after it leaves only files no
// page names, which the message lists.
namespace sonavelt::run {

struct RemovalOutcome {
  enum class End {
    kRemoved,     // the page is restored and its files are gone
    kIncomplete,  // the page is restored; files named in `message` stay
    kRefused,     // nothing changed: no block, a page that may not be written, busy
    kFailed,      // nothing changed: a read, the site or the work folder failed
    kCancelled,   // the user stopped it before the page; nothing changed
  };
  End end = End::kRemoved;
  // Why it refused or failed; with kRemoved, a note (ok() when there is
  // none): no record of the first run's BODY edit was found, so BODY was
  // left as it is.
  Status message;
  // The page as written, then every file removed, in order: full local
  // paths, or the site's paths for a remote page.
  std::vector<std::string> removed;
};

struct RemovalServices {
  RemoteFolder* remote = nullptr;  // required for a remote page
  // How long to wait for a run on the same page, and where the locks live
  // (empty: LockFolder()).
  std::chrono::milliseconds lock_wait{30000};
  std::string lock_folder;
  // Where the work folder is made; empty: UserCacheFolder().
  std::string work_parent;
  // Set by the front end to stop; read between steps.
  const std::atomic<bool>* cancel = nullptr;
};

// Takes the player off `page` (local, or remote through services.remote).
RemovalOutcome RemovePagePlayer(const PageTarget& page, const RemovalServices& services);

}  // namespace sonavelt::run
