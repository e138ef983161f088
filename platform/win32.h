// The Win32 services beneath ProfileFile and RegistryStore: the system's own
// on Windows, the library's backend elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// ProfileFile's operation of this name is not the system's WriteProfileString.
#undef WriteProfileString
#else
#include "platform/linux/win32_api.h"
#endif

namespace povupdate {

// The character that separates directories in the paths the system hands out.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace povupdate
