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
#include <system_error>

#include "shared/host_platform.h"
#include "update/update_system.h"
#include "update/zip_install.h"

namespace povupdate_cli {
namespace {

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
Descriptor OpenBeneath(int root, const ZipTree::Components& components, std::size_t count,
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

}  // namespace

struct ZipReader::State {
  std::unique_ptr<archive, ArchiveFree> reader{archive_read_new()};
};

ZipReader::ZipReader() : state_(std::make_unique<State>()) {}
ZipReader::~ZipReader() = default;

bool ZipReader::Open(HeldFile& file, std::string& problem) {
  if (!file.Rewind(problem)) return false;
  archive* reader = state_->reader.get();
  archive_read_support_format_zip(reader);
  if (archive_read_open_fd(reader, static_cast<int>(file.native()), kZipBlock) != ARCHIVE_OK) {
    problem = file.path() + " is no zip archive: " + archive_error_string(reader);
    return false;
  }
  return true;
}

ZipReader::Step ZipReader::Next(ArchivedMember& member, std::string& problem) {
  archive_entry* entry = nullptr;
  const int next = archive_read_next_header(state_->reader.get(), &entry);
  if (next == ARCHIVE_EOF) return Step::kEnd;
  if (next != ARCHIVE_OK) {
    problem = std::string("the archive is damaged: ") + archive_error_string(state_->reader.get());
    return Step::kFailed;
  }
  const char* name = archive_entry_pathname(entry);
  member.name = name != nullptr ? name : "";
  const mode_t type = archive_entry_filetype(entry);
  member.kind = archive_entry_hardlink(entry) != nullptr ? ArchivedMember::Kind::kOther
                : type == AE_IFREG                       ? ArchivedMember::Kind::kFile
                : type == AE_IFDIR                       ? ArchivedMember::Kind::kDirectory
                                                         : ArchivedMember::Kind::kOther;
  member.permissions = archive_entry_perm(entry);
  return Step::kMember;
}

bool ZipReader::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  const la_ssize_t read = archive_read_data(state_->reader.get(), buffer, size);
  if (read < 0) {
    problem = archive_error_string(state_->reader.get());
    return false;
  }
  got = static_cast<std::size_t>(read);
  return true;
}

struct ZipTree::State {
  Descriptor target;
  Descriptor staging;
  std::string staging_path;
  Descriptor file;  // the staged file being written
};

ZipTree::ZipTree() : state_(std::make_unique<State>()) {}

ZipTree::~ZipTree() {
  if (state_->staging_path.empty()) return;
  state_->file = Descriptor();
  state_->staging = Descriptor();
  std::error_code ignored;
  std::filesystem::remove_all(state_->staging_path, ignored);
}

bool ZipTree::Begin(const std::string& target, std::string& problem) {
  std::error_code error;
  std::filesystem::create_directories(target, error);
  state_->target = Descriptor(open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (error || state_->target.get() < 0) {
    problem =
        target + " can't be made or opened: " + (error ? error.message() : SystemMessage(errno));
    return false;
  }
  // Beside the target, on its file system, so each file moves by rename.
  const std::filesystem::path place(target);
  std::string path =
      (place.parent_path() / ("." + place.filename().string() + ".povupdate-XXXXXX")).string();
  if (mkdtemp(path.data()) == nullptr) {
    problem = "no staging directory beside " + target + ": " + SystemMessage(errno);
    return false;
  }
  state_->staging_path = path;
  state_->staging = Descriptor(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (state_->staging.get() < 0) {
    problem = path + " can't be opened: " + SystemMessage(errno);
    return false;
  }
  return true;
}

bool ZipTree::StageDirectory(const Components& components, std::string& reason) {
  if (OpenBeneath(state_->staging.get(), components, components.size(), true).get() >= 0) {
    return true;
  }
  reason = SystemMessage(errno);
  return false;
}

bool ZipTree::StageFile(const Components& components, std::uint32_t permissions,
                        std::string& reason) {
  const Descriptor parent =
      OpenBeneath(state_->staging.get(), components, Parents(components, false), true);
  // Only the permission bits, and none for others to write: no set-user-ID,
  // set-group-ID or sticky bit, no owner of the archive's.
  const mode_t mode = (permissions & 0755) | 0600;
  if (parent.get() >= 0) {
    state_->file = Descriptor(openat(parent.get(), components.back().c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  }
  if (parent.get() < 0 || state_->file.get() < 0) {
    reason = SystemMessage(errno);
    return false;
  }
  return true;
}

bool ZipTree::Write(const char* data, std::size_t size, std::string& reason) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t wrote = write(state_->file.get(), data + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      reason = SystemMessage(wrote < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

bool ZipTree::EndFile(std::string& reason) {
  const bool synced = fsync(state_->file.get()) == 0;
  if (!synced) reason = SystemMessage(errno);
  state_->file = Descriptor();
  return synced;
}

bool ZipTree::Reachable(const Components& components, bool directory, std::string& reason) {
  Descriptor at(fcntl(state_->target.get(), F_DUPFD_CLOEXEC, 0));
  for (std::size_t depth = 0; depth < components.size() && at.get() >= 0; ++depth) {
    const char* name = components[depth].c_str();
    struct stat status {};
    if (fstatat(at.get(), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return true;
      at = Descriptor();
      break;
    }
    if (depth + 1 == components.size() && !directory) {
      if (!S_ISDIR(status.st_mode)) return true;
      errno = EISDIR;
      at = Descriptor();
      break;
    }
    at = Descriptor(openat(at.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (at.get() >= 0) return true;
  reason = SystemMessage(errno);
  return false;
}

bool ZipTree::Place(const Components& components, bool directory, std::string& reason) {
  const std::size_t parents = Parents(components, directory);
  const Descriptor to = OpenBeneath(state_->target.get(), components, parents, true);
  if (to.get() < 0) {
    reason = SystemMessage(errno);
    return false;
  }
  if (directory) return true;
  const Descriptor from = OpenBeneath(state_->staging.get(), components, parents, false);
  const char* name = components.back().c_str();
  if (from.get() < 0 || renameat(from.get(), name, to.get(), name) != 0) {
    reason = SystemMessage(errno);
    return false;
  }
  return true;
}

}  // namespace povupdate_cli
