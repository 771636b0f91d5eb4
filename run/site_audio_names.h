#pragma once

#include <string>
#include <vector>

#include "transport/page_transport.h"

// A site's transport with the names in "audio/" decided as beside a page on
// this machine (audio_placement.h): the site's folder may be shared with
// other pages and with the user's own files, so a sound keeps its name there
// only when the name is free or this page's previous run placed the file and
// no other page uses it; otherwise it takes the next free numbered name, and
// the user's own files are never written. The pages' files beside the page
// (*.res, *.sounds.js) say which page uses which file, as on a disk.
//
// Wraps the site's transport for the run: every other step is the site's
// own. A site keeps no lock, so two runs in one site folder at once may
// still choose the same free name.
namespace sonavelt::run {

class SiteAudioNames : public PageTransport {
 public:
  // `site` outlives this object.
  explicit SiteAudioNames(PageTransport& site) : site_(site) {}

  Status CheckBesidePage(const RemotePage& page, const std::vector<std::string>& names) override {
    return site_.CheckBesidePage(page, names);
  }
  Status FetchPage(const RemotePage& page, std::string* bytes, const std::string& progress_text,
                   TransferObserver& observer) override {
    return site_.FetchPage(page, bytes, progress_text, observer);
  }
  Status FetchBesidePage(const RemotePage& page, const std::string& name,
                         std::string* bytes) override {
    return site_.FetchBesidePage(page, name, bytes);
  }
  Status ListBesidePage(const RemotePage& page, const std::string& sub_folder,
                        std::vector<std::string>* names) override {
    return site_.ListBesidePage(page, sub_folder, names);
  }
  // Lists the page's folder and its audio/ and reads the pages' files there
  // (ListBesidePage, FetchBesidePage); a page file that cannot be read makes
  // its page a user of every file. A listing that fails ends the run with
  // the site's message; a missing audio/ holds nothing.
  Status ClaimAudioNames(const RemotePage& page, const std::vector<SoundToPlace>& sounds,
                         std::vector<PlacedFile>* files, TransferObserver& observer) override;
  // The site's publish, with the sounds only the page's earlier run used
  // (audio_placement.h DroppedByRun) to go once the page is placed.
  Status PublishPage(const RemotePage& page, const PublishFiles& files,
                     TransferObserver& observer) override;
  bool MayTryAgain() const override { return site_.MayTryAgain(); }
  bool OpensFromDisk() const override { return site_.OpensFromDisk(); }
  std::string LocalFolder() const override { return site_.LocalFolder(); }
  std::string Destination(const RemotePage& page) const override {
    return site_.Destination(page);
  }

 private:
  PageTransport& site_;
  std::vector<std::string> dropped_;  // in audio/, from ClaimAudioNames
};

}  // namespace sonavelt::run
