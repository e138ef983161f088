// The facts of the record and the files that the library, the command-line
// host and the bindings must agree on, written only here (the result codes,
// which hosts read, are in povupdate.h). tests/facts_check.py holds the
// documentation and the bindings to them.
#pragma once

#include <cstddef>
#include <string_view>

namespace povupdate {

// Paths and names live in buffers of this many bytes with their NUL: a path,
// or a section name read from the index, has at most 259 characters.
inline constexpr std::size_t kTextSize = 260;

// A value read from a profile file passes through a buffer of this many
// bytes: it arrives cut to 2,599 characters.
inline constexpr std::size_t kValueBufferSize = 2600;

// The update file's index section: its keys "1", "2", ... name the sections
// of the entries.
inline constexpr char kIndexSection[] = "SOFTWARE";

// A leading "1" of an InstallPath stands for the system drive's root.
inline constexpr char kSystemDriveMarker = '1';

// A record's fields, in its order: each is the value of the key of its
// name in kKeyNames, but kName is the section's name, read from no key (its
// key is "", which reads nothing).
enum Field : int {
  kName,
  kVersion,
  kDownLoadPath,
  kMd5,
  kInstallType,
  kInstallPath,
  kInstallParmeter,
  kSize,
  kFieldCount
};
// Entries of a fixed size, so that filling a table of them copies a known
// number of bytes and no text has to be measured.
inline constexpr std::size_t kKeyNameSize = 16;
inline constexpr char kKeyNames[kFieldCount][kKeyNameSize] = {
    "", "Version", "DownLoadPath", "MD5", "InstallType", "InstallPath", "InstallParmeter", "Size"};

// An entry's key that no field reads: the installer's SHA-256, which
// povupdate writes and checks downloads against.
inline constexpr char kSha256Key[] = "SHA256";

// The section of a signed update file that holds its signature (no entry is
// under this name), and the key file beside the update file that makes the
// library believe only what one of its keys signed.
inline constexpr std::string_view kSignatureSection = "PovUpdate.Signature";
inline constexpr char kTrustedKeysFile[] = "PovUpdate.pub";

// The install directory is the text value kInstallValue of the install key,
// under HKEY_LOCAL_MACHINE: in the registry store's notation, root digit 3
// and then the subkey, which hosts open as kInstallSubkey.
inline constexpr char kInstallKey[] = "3SOFTWARE\\DravuPovUpdate";
inline constexpr const char* kInstallSubkey = kInstallKey + 1;
inline constexpr char kInstallValue[] = "InstallPath";

// A field's name as hosts show it: its key's, and "Name" for field 0.
constexpr const char* FieldName(int field) { return field == kName ? "Name" : kKeyNames[field]; }

}  // namespace povupdate
