// Checks an update file for what keeps hosts from reading it the way its
// publisher meant. Reads the text itself, with the profile services' rules.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "interface/facts.h"
#include "shared/findings.h"

namespace povupdate_cli {

// The library's buffers: a section name read from the index and a value
// arrive cut to these lengths.
using povupdate::kIndexSection;
inline constexpr std::size_t kMaxSectionName = povupdate::kTextSize - 1;
inline constexpr std::size_t kMaxValue = povupdate::kValueBufferSize - 1;

// What a download turned out to be: its MD5 in hexadecimal and its size, or
// why it can't be had.
struct DownloadFacts {
  bool found = false;
  std::string problem;
  std::string md5;
  std::string sha256;
  std::uint64_t size = 0;
};

// Looks up the file a download path names, by its file name.
using DownloadLookup = std::function<DownloadFacts(const std::string& file_name)>;

// `drive_root` is what a leading "1" of an InstallPath becomes. `bytes` are
// the file's, read as the library reads them. With `downloads`, each entry's
// download must match its MD5 and Size.
Findings CheckUpdateFile(std::string bytes, const std::string& drive_root,
                         const DownloadLookup& downloads = nullptr);

// A field in which a download differs from what its entry promises.
struct Mismatch {
  const char* field;  // its key: MD5's, SHA256's or Size's
  std::string expected;
  std::string found;
};

// `sha256` is compared only when the entry has one.
std::vector<Mismatch> DownloadMismatches(const std::string& md5, const std::string& size,
                                         const DownloadFacts& found,
                                         const std::string& sha256 = std::string());

// "MD5: expected '...', found '...'".
std::string DescribeMismatch(const Mismatch& mismatch);

// The file name a download path ends in: the last component of a URL's
// path, without its query or fragment and percent-decoded, or the last
// component of a path on disk. "" when that names no file: a URL without a
// path component, or a name that is empty, "." or "..", or holds '/', '\\',
// ':' or a control character (a NUL too).
std::string DownloadFileName(const std::string& path);

}  // namespace povupdate_cli
