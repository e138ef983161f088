// The bounds of a zip install (ExtractZip in update_system.h): every member
// is checked by SplitArchiveName and extracted into a staging directory
// beside the target; only when all of them are there is each moved into
// place by one rename. Files of the target that the archive doesn't name
// stay.
#pragma once

#include <cstddef>
#include <cstdint>

namespace povupdate_cli {

// At most 4 GiB unpacked and 65,536 members: a small archive can't fill
// the disk with what it expands to.
constexpr std::uint64_t kMaxZipUnpacked = std::uint64_t{4} << 30;
constexpr std::size_t kMaxZipMembers = 65536;
constexpr std::size_t kZipBlock = std::size_t{64} * 1024;

}  // namespace povupdate_cli
