#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program.h"

// Helpers for tests that put the real program in a hostile place: small or
// read-only file systems mounted for one test, and sound files made in
// memory. Programs are run with tests/support/program.h.
namespace sonavelt::testing {

// Gives this test process a mount namespace of its own, so that what it
// mounts is invisible outside and goes away with it. False (with *why) when
// the system does not allow it: not root, or no CAP_SYS_ADMIN.
bool PrivateMounts(std::string* why);

// Mounts a tmpfs of `bytes` (rounded up to pages) on `folder`, made first
// when missing.
bool MountTmpfs(const std::filesystem::path& folder, uint64_t bytes, std::string* why);
// Makes `folder` a read-only view of itself (a bind mount), so that even
// root cannot write there.
bool MountReadOnlyBind(const std::filesystem::path& folder, std::string* why);
// Detaches whatever is mounted on `folder`; quiet when nothing is.
void Unmount(const std::filesystem::path& folder);

// Fills the file system of `folder` with a file of its own until only
// `leave` bytes (rounded down to blocks) are free.
void FillFileSystem(const std::filesystem::path& folder, uint64_t leave);

// A mono 8-bit WAVE file of `frames` samples at `rate`, a slow ramp.
std::string SmallWave(int frames, int rate = 8000);

// Every regular file below `root`, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);

}  // namespace sonavelt::testing
