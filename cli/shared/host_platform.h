// What povupdate needs of the system it runs on, apart from the library.
#pragma once

#include <string>

namespace povupdate_cli {

// The root that a leading "1" of an InstallPath stands for; only its length
// matters to the checks, and every drive root has the same.
extern const char kSystemDriveRoot[];

// Gives a text the library handed out back to the allocator the library's
// contract names: CoTaskMemFree on Windows, free() elsewhere. Null is fine.
void ReleaseLibraryText(char* text);

// The directory the library takes its files from, with its trailing
// separator; "" when it can't be found.
std::string HostDirectory();

// The system's own words for an error code: errno on Linux, a GetLastError()
// code on Windows.
std::string SystemMessage(long code);

// The library's texts are in the ANSI code page; JSON must be UTF-8.
std::string AnsiToUtf8(const std::string& text);

}  // namespace povupdate_cli
