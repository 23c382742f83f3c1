// The program's entry flow: locate the archive, prepare, run the wait dialog, report.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

// Paths are UTF-8, so buffers are sized for their characters (UTF-16 units) at the most
// bytes each can take.
inline constexpr uint32_t kSelfPathCharacters = 255;  // at most 255 characters are kept
inline constexpr uint32_t kSelfPathSize = kSelfPathCharacters * plat::kUtf8BytesPerUnit + 2;
inline constexpr uint32_t kModuleNameBufferSize = 260 * plat::kUtf8BytesPerUnit + 1;  // 260 characters

// The program's own full path, UTF-8.
extern char SelfPath[kSelfPathSize];

// Runs the whole package: returns the process's exit code, which is always 0.
int RunPackage();

// TempDir = the user's temporary directory, a "\" if it lacks one, then "_I_\". False
// when there is no temporary path, its folder does not exist, or it leaves no room for
// "_I_\": the package then unpacks nowhere (the alternative, a folder at a drive's
// root, could be made in advance by any user of the machine).
[[nodiscard]] bool ComposeTempDir();
