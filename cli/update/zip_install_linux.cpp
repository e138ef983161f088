// zip installs on Linux: libarchive reads the archive (Debian's, kept by
// the libarchive project; it reads every zip variant hosts meet, stored,
// deflated, zip64), and the files are put in place with *at() calls that
// never follow a link beneath the target.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "update/archive_names.h"
#include "update/update_system.h"
#include "update/zip_install.h"

namespace povupdate_cli {
namespace {

std::string Reason(int code) { return std::system_category().message(code); }

// A descriptor closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : descriptor_(other.descriptor_) {
    other.descriptor_ = -1;
  }
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    return *this;
  }
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

// Opens, making it when `make`, directory `components` beneath `root`,
// never following a link; -1 with errno on failure.
Descriptor OpenBeneath(int root, const std::vector<std::string>& components, std::size_t count,
                       bool make) {
  Descriptor directory(fcntl(root, F_DUPFD_CLOEXEC, 0));
  for (std::size_t i = 0; i < count && directory.get() >= 0; ++i) {
    const char* name = components[i].c_str();
    int next = openat(directory.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && make && mkdirat(directory.get(), name, 0755) == 0) {
      next = openat(directory.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    directory = Descriptor(next);
  }
  return directory;
}

struct ArchiveFree {
  void operator()(archive* reader) const { archive_read_free(reader); }
};

struct Member {
  std::vector<std::string> components;
  bool directory = false;
};

// Extracts every member into `staging`; false, with `problem`, at the first
// member that may not be extracted or can't be written.
bool Stage(HeldFile& file, int staging, std::vector<Member>& members, std::string& problem) {
  if (!file.Rewind(problem)) return false;
  const std::unique_ptr<archive, ArchiveFree> reader(archive_read_new());
  archive_read_support_format_zip(reader.get());
  if (archive_read_open_fd(reader.get(), static_cast<int>(file.native()), kZipBlock) !=
      ARCHIVE_OK) {
    problem = file.path() + " is no zip archive: " + archive_error_string(reader.get());
    return false;
  }
  std::uint64_t unpacked = 0;
  std::vector<char> block(kZipBlock);
  archive_entry* entry = nullptr;
  int next;
  while ((next = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    const char* name = archive_entry_pathname(entry);
    const std::string shown = name != nullptr ? name : "";
    Member member;
    std::string why;
    if (!SplitArchiveName(shown, member.components, why)) {
      problem = "member '" + shown + "' ";
      problem += why;
      return false;
    }
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) != nullptr || (type != AE_IFREG && type != AE_IFDIR)) {
      problem = "member '" + shown + "' is a link or a special file";
      return false;
    }
    if (members.size() == kMaxZipMembers) {
      problem = "the archive has more than " + std::to_string(kMaxZipMembers) + " members";
      return false;
    }
    member.directory = type == AE_IFDIR;
    const std::size_t parents = member.components.size() - (member.directory ? 0 : 1);
    const Descriptor parent = OpenBeneath(staging, member.components, parents, true);
    if (parent.get() < 0) {
      problem = "member '" + shown + "' can't be staged: " + Reason(errno);
      return false;
    }
    if (!member.directory) {
      // Only the permission bits, and none for others to write: no
      // set-user-ID, set-group-ID or sticky bit, no owner of the archive's.
      const mode_t mode = (archive_entry_perm(entry) & 0755) | 0600;
      const Descriptor out(openat(parent.get(), member.components.back().c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (out.get() < 0) {
        problem = "member '" + shown + "' can't be staged: " + Reason(errno);
        return false;
      }
      la_ssize_t got;
      while ((got = archive_read_data(reader.get(), block.data(), block.size())) > 0) {
        unpacked += static_cast<std::uint64_t>(got);
        if (unpacked > kMaxZipUnpacked) {
          problem =
              "the archive unpacks to more than " + std::to_string(kMaxZipUnpacked) + " bytes";
          return false;
        }
        for (la_ssize_t done = 0; done < got;) {
          const ssize_t wrote =
              write(out.get(), block.data() + done, static_cast<std::size_t>(got - done));
          if (wrote < 0 && errno == EINTR) continue;
          if (wrote <= 0) {
            problem = "member '" + shown + "' can't be written: " + Reason(errno);
            return false;
          }
          done += wrote;
        }
      }
      if (got < 0) {
        problem = "member '" + shown + "' is damaged: " + archive_error_string(reader.get());
        return false;
      }
      if (fsync(out.get()) != 0) {
        problem = "member '" + shown + "' can't be written: " + Reason(errno);
        return false;
      }
    }
    members.push_back(std::move(member));
  }
  if (next != ARCHIVE_EOF) {
    problem = file.path() + " is damaged: " + archive_error_string(reader.get());
    return false;
  }
  return true;
}

// Whether every member's place beneath `target` can be had: each directory
// on its way is a directory or still missing, no link, and a file's place
// is no directory. Checked for all before any is moved, so that a member
// that can't be placed leaves the target as it was.
bool Reachable(int target, const std::vector<Member>& members, std::string& problem) {
  for (const Member& member : members) {
    Descriptor directory(fcntl(target, F_DUPFD_CLOEXEC, 0));
    std::size_t depth = 0;
    for (; depth < member.components.size() && directory.get() >= 0; ++depth) {
      const char* name = member.components[depth].c_str();
      const bool last = depth + 1 == member.components.size();
      struct stat status {};
      if (fstatat(directory.get(), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) break;
        directory = Descriptor();
        break;
      }
      if (last && !member.directory) {
        if (S_ISDIR(status.st_mode)) errno = EISDIR, directory = Descriptor();
        break;
      }
      directory = Descriptor(
          openat(directory.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (directory.get() < 0) {
      problem = "the place of '" + member.components.back() +
                "' is beneath a link or no directory: " + Reason(errno);
      return false;
    }
  }
  return true;
}

// Moves each staged member into its place beneath `target`, one rename
// each, making directories as needed and following no link.
bool Place(int staging, int target, const std::vector<Member>& members, std::string& problem) {
  for (const Member& member : members) {
    const std::size_t parents = member.components.size() - (member.directory ? 0 : 1);
    const Descriptor to = OpenBeneath(target, member.components, parents, true);
    if (to.get() < 0) {
      problem = "the place of '" + member.components.back() +
                "' is a link, no directory or can't be made: " + Reason(errno);
      return false;
    }
    if (member.directory) continue;
    const Descriptor from = OpenBeneath(staging, member.components, parents, false);
    const char* name = member.components.back().c_str();
    if (from.get() < 0 || renameat(from.get(), name, to.get(), name) != 0) {
      problem = "'" + member.components.back() + "' can't be put in place: " + Reason(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

bool ExtractZip(HeldFile& archive_file, const std::string& target, std::string& problem) {
  std::error_code error;
  std::filesystem::create_directories(target, error);
  const Descriptor root(open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (error || root.get() < 0) {
    problem = target + " can't be made or opened: " + (error ? error.message() : Reason(errno));
    return false;
  }
  // Beside the target, on its file system, so each file moves by rename.
  const std::filesystem::path place(target);
  std::string staging_path =
      (place.parent_path() / ("." + place.filename().string() + ".povupdate-XXXXXX")).string();
  if (mkdtemp(staging_path.data()) == nullptr) {
    problem = "no staging directory beside " + target + ": " + Reason(errno);
    return false;
  }
  bool done;
  {
    const Descriptor staging(open(staging_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<Member> members;
    done = staging.get() >= 0 && Stage(archive_file, staging.get(), members, problem) &&
           Reachable(root.get(), members, problem) &&
           Place(staging.get(), root.get(), members, problem);
  }
  std::filesystem::remove_all(staging_path, error);
  return done;
}

}  // namespace povupdate_cli
