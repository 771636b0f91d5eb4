#pragma once

#include <cstdint>

// The help contexts of the program's windows and controls, one per topic of
// the help file, which marks each topic with its number in upper-case
// hexadecimal ("80660461", HelpSystem::AnchorOf). A number is 0x80000000 +
// (the window's number << 16) + the control's number.
namespace sonavelt::app::help {

// The wizard's pages (window 0x66). The last sound page of a run, the one
// with the start button, has a topic of its own.
inline constexpr uint32_t kSelectHtmlFilePage = 0x80660461;
inline constexpr uint32_t kOptionSettingsPage = 0x80660462;
inline constexpr uint32_t kEntranceSoundPage = 0x80660463;
inline constexpr uint32_t kExitSoundPage = 0x80660464;
inline constexpr uint32_t kBackgroundSoundPage = 0x80660465;
inline constexpr uint32_t kBackgroundSoundLastPage = 0x80660466;
inline constexpr uint32_t kExitSoundLastPage = 0x80660467;

// Each page's path field and the label above it.
inline constexpr uint32_t kHtmlFileLabel = 0x80660419;
inline constexpr uint32_t kHtmlFileField = 0x806603FB;
inline constexpr uint32_t kPageUrlLabel = 0x80660432;
inline constexpr uint32_t kPageUrlField = 0x80660433;
inline constexpr uint32_t kEntranceSoundLabel = 0x8066042D;
inline constexpr uint32_t kEntranceSoundField = 0x80660430;
inline constexpr uint32_t kExitSoundLabel = 0x8066042E;
inline constexpr uint32_t kExitSoundField = 0x80660431;
inline constexpr uint32_t kBackgroundSoundLabel = 0x8066042F;
inline constexpr uint32_t kBackgroundSoundField = 0x80660437;

// The remote site windows.
inline constexpr uint32_t kConnectDialog = 0x808A0462;
inline constexpr uint32_t kRemoteFileBrowser = 0x808B0463;

}  // namespace sonavelt::app::help
