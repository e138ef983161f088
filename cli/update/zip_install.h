// A zip install (ExtractZip in update_system.h), one path on both systems:
// every member is checked by SplitArchiveName and extracted into a staging
// directory beside the target; only when all of them are there, and every
// member's place beneath the target can be had, is each moved into place by
// one atomic rename. Files of the target that the archive doesn't name stay.
// Each system gives the two parts that differ: the archive's reader
// (libarchive on Linux, minizip on Windows) and the file-system calls that
// never follow a link beneath the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace povupdate_cli {

class HeldFile;

// At most 4 GiB unpacked and 65,536 members: a small archive can't fill
// the disk with what it expands to.
constexpr std::uint64_t kMaxZipUnpacked = std::uint64_t{4} << 30;
constexpr std::size_t kMaxZipMembers = 65536;
constexpr std::size_t kZipBlock = std::size_t{64} * 1024;

// One member as the archive describes it.
struct ArchivedMember {
  enum class Kind { kFile, kDirectory, kOther };  // kOther: a link or a special file
  std::string name;                               // '/' separates its components
  Kind kind = Kind::kFile;
  std::uint32_t permissions = 0644;  // the archive's permission bits, where it has them
};

// Reads the held archive's members in order, each one's data after it.
class ZipReader {
 public:
  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  enum class Step { kMember, kEnd, kFailed };
  // From the first byte of `archive`, which stays open while this reads.
  bool Open(HeldFile& archive, std::string& problem);
  // The next member; on kFailed, `problem` says why the archive is damaged.
  Step Next(ArchivedMember& member, std::string& problem);
  // The current member's data, `got` 0 at its end (then checked whole).
  bool Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The target directory and a staging directory beside it, on its file
// system; a member's place is given by its components beneath either.
// Nothing beneath them is reached through a link. Each call's `reason` is
// the system's own word for what failed. The staging directory and what it
// still holds are removed with this.
class ZipTree {
 public:
  using Components = std::vector<std::string>;
  ZipTree();
  ~ZipTree();
  ZipTree(const ZipTree&) = delete;
  ZipTree& operator=(const ZipTree&) = delete;

  // Makes `target` where missing and the staging directory beside it.
  bool Begin(const std::string& target, std::string& problem);
  // The staged directory `components`, made with those above it.
  bool StageDirectory(const Components& components, std::string& reason);
  // A new staged file, made with the directories above it, written by Write
  // and ended (its data on the disk) by EndFile. Of `permissions`, only the
  // ones that matter are kept: read and execute, and writing for its owner.
  bool StageFile(const Components& components, std::uint32_t permissions, std::string& reason);
  bool Write(const char* data, std::size_t size, std::string& reason);
  bool EndFile(std::string& reason);
  // Whether the member's place beneath the target can be had: each
  // directory on its way a directory or still missing, none a link, and a
  // file's place no directory.
  bool Reachable(const Components& components, bool directory, std::string& reason);
  // Moves the staged member into its place beneath the target (a file by
  // one rename that replaces what was there), making directories as needed.
  bool Place(const Components& components, bool directory, std::string& reason);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// How many components lead to a member's directory: all of a directory's,
// all but the last of a file's.
inline std::size_t Parents(const ZipTree::Components& components, bool directory) {
  return components.size() - (directory ? 0 : 1);
}

}  // namespace povupdate_cli
