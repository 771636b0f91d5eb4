#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The names sounds get where the page finds them (its "audio/" folder) and
// in the program's own folders. A name is made from the file's name alone,
// never from its folders, so "my.wavs/beta.wav" becomes "beta.au".
namespace sonavelt::audio {

// The converted copy of a WAVE sound: the file name cut at its first ".wav"
// (any letter case) plus ".au"; a name without ".wav" (the path was taken
// for a WAVE file because of a folder) loses what follows its last "."
// instead. "Bell.WAV" -> "Bell.au", "a.wav.bak" -> "a.au", "x.wav.d/song"
// -> "song.au". A name with nothing left before the cut becomes "sound.au".
std::string ConvertedNameOf(std::string_view path);

// True for a sound the run uses as it is, an .au sound (IsAuPath, and not
// IsWavePath or IsDecodedSoundPath, which are tested first: "my.audio/x.mp3"
// is an MP3); every other sound is converted.
bool IsUsedAsIs(std::string_view path);

// The name a sound of a run asks for: the file's own name for a sound used
// as it is, else ConvertedNameOf.
std::string PlacedNameOf(std::string_view path);

// The playable copy of an .au sound: the file name cut at its first ".au"
// (any case), else at its last ".", plus ".wav".
std::string PreviewNameOf(std::string_view au_path);

// "bell.au", 2 -> "bell-2.au"; a name without "." gets the number at its end.
std::string NumberedName(std::string_view name, int number);

// The names of one run's sounds in the page's "audio/" folder, given out in
// one place so that the converted files, the copies, the resource file and
// the progress text all agree:
//   - each sound asks for PlacedNameOf(path);
//   - two sounds with different contents never share a name, and names are
//     compared without regard to letter case (a site's server may not tell
//     "Bell.au" from "bell.au");
//   - two paths with the same contents (the same path again, a link to it,
//     or a byte-for-byte copy of the same kind) share one name;
//   - a sound that cannot have the name it asks for gets the first free
//     NumberedName, 2, 3, ..., after every sound that can have its own name
//     has it (so a chosen "bell-2.au" keeps its name);
//   - .au sounds that already lie in `own_folder` (the page's "audio/"
//     folder, for a local page) get their own names before anything else,
//     so a run never writes another sound over one it uses.
// Contents are compared only for sounds that ask for the same name; a file
// that cannot be read counts as different from every other.
class SoundNames {
 public:
  // `sounds` in the run's order (each combination's entrance, exit and
  // background sound); a path may appear many times.
  explicit SoundNames(const std::vector<std::string>& sounds, const std::string& own_folder = "");

  // The name given to `path`; empty when it was not among the sounds.
  const std::string& NameOf(const std::string& path) const;

 private:
  std::map<std::string, std::string> names_;  // path -> name
};

// One sound's name as SoundNames gave it, and the name it asked for.
struct GivenName {
  std::string given;  // SoundNames::NameOf
  std::string asked;  // PlacedNameOf
};

// The same rule continued into a folder that already holds files (a page's
// "audio/", shared with other pages and the user): sound i keeps
// given[i].given when `fits(i, name)` says the folder lets it have that
// name (the name is free there, holds the same contents, or holds a file
// the sound may replace); otherwise it gets the first NumberedName of
// given[i].asked, 2, 3, ..., that fits and that no other sound of the run
// has or asked for (without regard to letter case). `fits` decides only
// about the folder; the run's own names are kept apart here. Answers one
// name per entry of `given`, in its order.
std::vector<std::string> NamesInFolder(const std::vector<GivenName>& given,
                                       const std::function<bool(size_t, const std::string&)>& fits);

}  // namespace sonavelt::audio
