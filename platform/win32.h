// The Win32 services beneath ProfileFile and RegistryStore: the system's own
// on Windows, the library's backend elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// std::min and std::max, not the macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// ProfileFile's operation of this name is not the system's WriteProfileString.
#undef WriteProfileString
#else
#include "platform/linux/win32_api.h"
#endif

namespace povupdate {

// The character that separates directories in the paths the system hands
// out, and the lowest index at which one can end a module's directory. On
// Linux the root "/" is a directory like any other; a Windows module path
// never starts with a separator, and one that does is taken whole.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr unsigned kFirstDirectoryEnd = 1;
#else
constexpr char kPathSeparator = '/';
constexpr unsigned kFirstDirectoryEnd = 0;
#endif

}  // namespace povupdate
