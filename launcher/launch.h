// Starting the setup program with the package's path, and cleaning up after it.
#pragma once

#include "platform/byte_string.h"

inline constexpr uint32_t kInstallerWaitMilliseconds = 10000;

// S with every occurrence of `find` replaced by `replacement`, through a placeholder
// byte so that a replacement containing `find` cannot loop; at most 999 characters are
// kept after each occurrence. False when memory runs out.
[[nodiscard]] bool ReplaceAll(const plat::ByteString& s, const char* find, const char* replacement,
                              plat::ByteString& out);

// SelfPath with every space written as the byte 0xAC, in the ANSI code page, as UTF-8
// (see launch.cpp for a path the code page cannot write).
[[nodiscard]] bool BuildInstallerArguments(plat::ByteString& out);

// Starts the setup program, ends the wait dialog, waits up to 10 seconds for the
// program, deletes its file and removes TempDir if that leaves it empty. A start that
// fails is reported (#SFXEJI#) with the program's path and the system's reason.
void LaunchInstaller(const plat::ByteString& installerPath, const plat::ByteString& arguments);
