// The files the benchmark cases read, written the same way for every build:
// an update file whose entries carry all seven keys, and a local
// configuration file, both with Windows line ends.
#pragma once

#include <string>
#include <vector>

namespace povupdate::bench {

// The sizes every build measures: entries of the update file for the walk,
// items of the local configuration file for its two calls.
constexpr int kWalkSizes[] = {10, 100, 1000, 5000, 20000};
constexpr int kLocalSizes[] = {10, 100, 1000};
// The sizes a fresh walk is measured at: each round first puts a new copy of
// the update file in place by rename, as a download does.
constexpr int kFreshSizes[] = {10, 100, 1000};

// The section names of items 1 to `count` ("Pkg00001", ...), the same in the
// update file and the local configuration file.
std::vector<std::string> ItemNames(int count);

// The directory the library looks for its files in, ending in a separator:
// the executable's on Windows, POVUPDATE_MODULE_DIR on Linux.
std::string ModuleDirectory();

// Update_<v>.ini and PovConfig_<v>.ini in `directory` (ending in a separator).
std::string UpdateFilePath(const std::string& directory);
std::string LocalFilePath(const std::string& directory);

std::string UpdateFileText(int entries);
bool WriteUpdateFile(const std::string& path, int entries);
// Writes `text` to a new file beside `path` and renames it over `path`.
bool ReplaceByRename(const std::string& path, const std::string& text);
bool WriteLocalFile(const std::string& path, int items);

// Sets the file's modification time some seconds into the past: Wine
// re-parses a profile file modified in the last 2.1 s on every call.
bool BackDate(const std::string& path);

}  // namespace povupdate::bench
