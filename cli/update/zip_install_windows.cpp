// zip installs on Windows: minizip (zlib's own zip reader: stored and
// deflated members, zip64) reads the archive through the held file's
// handle, and the files are put in place through directories opened
// without following a reparse point and held against renaming until the
// member is in place.
#include "platform/win32.h"
// windows.h first.
#include <shlobj.h>
#include <unzip.h>

#include "shared/host_platform.h"
#include "update/update_system.h"
#include "update/zip_install.h"

namespace povupdate_cli {
namespace {

// `text` in UTF-16 from code page `code_page`; false for bytes that are no
// text of it.
bool Widened(const std::string& text, UINT code_page, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                             length) == length;
}

std::string Narrowed(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  }
  return text;
}

// A handle closed with its owner.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// minizip reads the held file through its handle: the archive that was
// checked is the archive extracted. The handle stays the held file's own.
voidpf ZCALLBACK OpenHeld(voidpf opaque, const void* /*name*/, int /*mode*/) { return opaque; }
uLong ZCALLBACK ReadHeld(voidpf /*opaque*/, voidpf stream, void* buffer, uLong size) {
  DWORD read = 0;
  return ReadFile(stream, buffer, size, &read, nullptr) ? read : 0;
}
uLong ZCALLBACK WriteNothing(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK TellHeld(voidpf /*opaque*/, voidpf stream) {
  LARGE_INTEGER at{};
  return SetFilePointerEx(stream, LARGE_INTEGER{}, &at, FILE_CURRENT)
             ? static_cast<ZPOS64_T>(at.QuadPart)
             : static_cast<ZPOS64_T>(-1);
}
long ZCALLBACK SeekHeld(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset, int origin) {
  const DWORD method = origin == ZLIB_FILEFUNC_SEEK_SET   ? FILE_BEGIN
                       : origin == ZLIB_FILEFUNC_SEEK_CUR ? FILE_CURRENT
                                                          : FILE_END;
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(stream, to, nullptr, method) ? 0 : -1;
}
int ZCALLBACK CloseNothing(voidpf, voidpf) { return 0; }
int ZCALLBACK NoError(voidpf, voidpf) { return 0; }

// The general-purpose flags' bits: an encrypted member, a UTF-8 name.
constexpr uLong kEncrypted = 0x1;
constexpr uLong kUtf8Name = 0x800;
// "Made by" a Unix system: the attributes' upper half is the file's mode.
constexpr uLong kMadeOnUnix = 3;
constexpr uLong kDosDirectory = 0x10;
constexpr uLong kDosReparsePoint = 0x400;

ArchivedMember::Kind KindOf(const unz_file_info64& info, const std::string& name) {
  const bool named_directory = !name.empty() && name.back() == '/';
  if ((info.external_fa & kDosReparsePoint) != 0) return ArchivedMember::Kind::kOther;
  if ((info.version >> 8) == kMadeOnUnix) {
    switch ((info.external_fa >> 16) & 0170000) {
      case 0:  // no type given
        break;
      case 0100000:
        return named_directory ? ArchivedMember::Kind::kDirectory : ArchivedMember::Kind::kFile;
      case 0040000:
        return ArchivedMember::Kind::kDirectory;
      default:
        return ArchivedMember::Kind::kOther;
    }
  }
  return named_directory || (info.external_fa & kDosDirectory) != 0
             ? ArchivedMember::Kind::kDirectory
             : ArchivedMember::Kind::kFile;
}

}  // namespace

struct ZipReader::State {
  unzFile archive = nullptr;
  bool started = false;
  bool member_open = false;
  std::string name;  // the current member's, for what is said of it
  std::vector<char> name_buffer = std::vector<char>(65536);

  ~State() {
    if (member_open) unzCloseCurrentFile(archive);
    if (archive != nullptr) unzClose(archive);
  }
};

ZipReader::ZipReader() : state_(std::make_unique<State>()) {}
ZipReader::~ZipReader() = default;

bool ZipReader::Open(HeldFile& file, std::string& problem) {
  if (!file.Rewind(problem)) return false;
  zlib_filefunc64_def functions{
      OpenHeld, ReadHeld,     WriteNothing, TellHeld,
      SeekHeld, CloseNothing, NoError,      reinterpret_cast<voidpf>(file.native())};
  state_->archive = unzOpen2_64(file.path().c_str(), &functions);
  if (state_->archive == nullptr) {
    problem = file.path() + " is no zip archive";
    return false;
  }
  return true;
}

ZipReader::Step ZipReader::Next(ArchivedMember& member, std::string& problem) {
  State& state = *state_;
  if (state.member_open) {
    unzCloseCurrentFile(state.archive);
    state.member_open = false;
  }
  int moved;
  if (!state.started) {
    state.started = true;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(state.archive, &global) != UNZ_OK) {
      problem = "the archive is damaged: its directory can't be read";
      return Step::kFailed;
    }
    if (global.number_entry == 0) return Step::kEnd;
    moved = unzGoToFirstFile(state.archive);
  } else {
    moved = unzGoToNextFile(state.archive);
  }
  if (moved == UNZ_END_OF_LIST_OF_FILE) return Step::kEnd;
  unz_file_info64 info{};
  if (moved != UNZ_OK || unzGetCurrentFileInfo64(state.archive, &info, state.name_buffer.data(),
                                                 static_cast<uLong>(state.name_buffer.size()),
                                                 nullptr, 0, nullptr, 0) != UNZ_OK) {
    problem =
        "the archive is damaged: a member's entry can't be read (" + std::to_string(moved) + ")";
    return Step::kFailed;
  }
  // Names are UTF-8 where the archive says so, else in the code page of
  // DOS (437), as the format has it.
  const std::string raw(state.name_buffer.data(), info.size_filename);
  std::wstring wide;
  if (!Widened(raw, (info.flag & kUtf8Name) != 0 ? CP_UTF8 : 437, wide)) {
    problem = "member '" + raw + "' has a name that is no text";
    return Step::kFailed;
  }
  member.name = (info.flag & kUtf8Name) != 0 ? raw : Narrowed(wide);
  state.name = member.name;
  member.kind = KindOf(info, member.name);
  member.permissions = (info.version >> 8) == kMadeOnUnix ? (info.external_fa >> 16) & 07777 : 0644;
  if (member.kind != ArchivedMember::Kind::kFile) return Step::kMember;
  if ((info.flag & kEncrypted) != 0) {
    problem = "member '" + member.name + "' is encrypted";
    return Step::kFailed;
  }
  if (unzOpenCurrentFile(state.archive) != UNZ_OK) {
    problem = "member '" + member.name + "' can't be read: compression method " +
              std::to_string(info.compression_method) + " is unknown here or it is damaged";
    return Step::kFailed;
  }
  state.member_open = true;
  return Step::kMember;
}

bool ZipReader::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  State& state = *state_;
  const int read = unzReadCurrentFile(state.archive, buffer, static_cast<unsigned>(size));
  if (read < 0) {
    problem = "its data can't be unpacked (" + std::to_string(read) + ")";
    return false;
  }
  got = static_cast<std::size_t>(read);
  if (read == 0) {
    // The end of its data: its checksum decides.
    state.member_open = false;
    if (unzCloseCurrentFile(state.archive) != UNZ_OK) {
      problem = "its data doesn't match its CRC-32";
      return false;
    }
  }
  return true;
}

namespace {

// What opens a directory on the way to a member: it may be listed (so that
// the handle counts against others' sharing) and is held against deletion
// and renaming; a reparse point is opened itself, not followed.
Handle OpenDirectory(const std::wstring& path) {
  return Handle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Walks `count` components beneath `root` into `path`, opening each
// directory as OpenDirectory does and keeping it in `held`, making missing
// ones (added to `made`) when `made` is given; false, with `reason`, at a
// reparse point, a file or a directory that can't be had.
bool Walk(const std::wstring& root, const ZipTree::Components& components, std::size_t count,
          std::vector<std::wstring>* made, std::vector<Handle>& held, std::wstring& path,
          std::string& reason) {
  path = root;
  std::wstring name;
  for (std::size_t i = 0; i < count; ++i) {
    if (!Widened(components[i], CP_UTF8, name)) {
      reason = SystemMessage(ERROR_INVALID_NAME);
      return false;
    }
    path += L'\\' + name;
    Handle directory = OpenDirectory(path);
    if (directory.get() == INVALID_HANDLE_VALUE && made != nullptr &&
        GetLastError() == ERROR_FILE_NOT_FOUND && CreateDirectoryW(path.c_str(), nullptr)) {
      made->push_back(path);
      directory = OpenDirectory(path);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (directory.get() == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(directory.get(), &information)) {
      reason = SystemMessage(GetLastError());
      return false;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      reason = "'" + components[i] + "' is a link (a reparse point)";
      return false;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      reason = SystemMessage(ERROR_DIRECTORY);
      return false;
    }
    held.push_back(std::move(directory));
  }
  return true;
}

}  // namespace

struct ZipTree::State {
  std::wstring target;
  std::wstring staging;
  Handle file;  // the staged file being written
  // What was made beneath the staging directory, in order.
  std::vector<std::wstring> staged_files;
  std::vector<std::wstring> staged_directories;
};

ZipTree::ZipTree() : state_(std::make_unique<State>()) {}

ZipTree::~ZipTree() {
  if (state_->staging.empty()) return;
  state_->file = Handle();
  // Only what this run made, deepest first; a file already moved into
  // place is no longer there, and nothing else is touched.
  for (const std::wstring& file : state_->staged_files) DeleteFileW(file.c_str());
  for (auto made = state_->staged_directories.rbegin(); made != state_->staged_directories.rend();
       ++made) {
    RemoveDirectoryW(made->c_str());
  }
  RemoveDirectoryW(state_->staging.c_str());
}

bool ZipTree::Begin(const std::string& target, std::string& problem) {
  std::wstring given;
  wchar_t full[MAX_PATH];
  const DWORD length =
      Widened(target, CP_ACP, given) ? GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr) : 0;
  if (length == 0 || length >= MAX_PATH) {
    problem = target + " is no path of this system";
    return false;
  }
  state_->target.assign(full, length);
  while (state_->target.size() > 3 && state_->target.back() == L'\\') state_->target.pop_back();
  const int made = SHCreateDirectoryExW(nullptr, state_->target.c_str(), nullptr);
  const DWORD kind = GetFileAttributesW(state_->target.c_str());
  if ((made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) ||
      kind == INVALID_FILE_ATTRIBUTES || (kind & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    problem = target + " can't be made or opened: " +
              SystemMessage(made != ERROR_SUCCESS ? static_cast<DWORD>(made) : ERROR_DIRECTORY);
    return false;
  }
  // Beside the target, on its volume, so each file moves by rename.
  const std::size_t separator = state_->target.find_last_of(L'\\');
  const std::wstring base = state_->target.substr(0, separator + 1) + L'.' +
                            state_->target.substr(separator + 1) + L".povupdate-" +
                            std::to_wstring(GetCurrentProcessId()) + L'-';
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring staging = base + std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(staging.c_str(), nullptr)) {
      state_->staging = staging;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  problem = "no staging directory beside " + target + ": " + SystemMessage(GetLastError());
  return false;
}

bool ZipTree::StageDirectory(const Components& components, std::string& reason) {
  std::vector<Handle> held;
  std::wstring path;
  return Walk(state_->staging, components, components.size(), &state_->staged_directories, held,
              path, reason);
}

bool ZipTree::StageFile(const Components& components, std::uint32_t /*permissions*/,
                        std::string& reason) {
  // No permission bits or attributes of the archive's: the file is a
  // plain one, with what its directory gives it.
  std::vector<Handle> held;
  std::wstring path;
  std::wstring name;
  if (!Walk(state_->staging, components, Parents(components, false), &state_->staged_directories,
            held, path, reason)) {
    return false;
  }
  if (!Widened(components.back(), CP_UTF8, name)) {
    reason = SystemMessage(ERROR_INVALID_NAME);
    return false;
  }
  path += L'\\' + name;
  state_->file = Handle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (state_->file.get() == INVALID_HANDLE_VALUE) {
    reason = SystemMessage(GetLastError());
    return false;
  }
  state_->staged_files.push_back(path);
  return true;
}

bool ZipTree::Write(const char* data, std::size_t size, std::string& reason) {
  DWORD wrote = 0;
  if (!WriteFile(state_->file.get(), data, static_cast<DWORD>(size), &wrote, nullptr) ||
      wrote != size) {
    reason = SystemMessage(GetLastError());
    return false;
  }
  return true;
}

bool ZipTree::EndFile(std::string& reason) {
  const bool flushed = FlushFileBuffers(state_->file.get()) != 0;
  if (!flushed) reason = SystemMessage(GetLastError());
  state_->file = Handle();
  return flushed;
}

bool ZipTree::Reachable(const Components& components, bool directory, std::string& reason) {
  std::wstring path = state_->target;
  std::wstring name;
  for (std::size_t depth = 0; depth < components.size(); ++depth) {
    if (!Widened(components[depth], CP_UTF8, name)) {
      reason = SystemMessage(ERROR_INVALID_NAME);
      return false;
    }
    path += L'\\' + name;
    const DWORD kind = GetFileAttributesW(path.c_str());
    if (kind == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
      reason = SystemMessage(error);
      return false;
    }
    if (depth + 1 == components.size() && !directory) {
      if ((kind & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
      reason = "'" + components[depth] + "' is a directory";
      return false;
    }
    if ((kind & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      reason = "'" + components[depth] + "' is a link (a reparse point)";
      return false;
    }
    if ((kind & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      reason = SystemMessage(ERROR_DIRECTORY);
      return false;
    }
  }
  return true;
}

bool ZipTree::Place(const Components& components, bool directory, std::string& reason) {
  const std::size_t parents = Parents(components, directory);
  // The directories on the way are held until the file is in place.
  std::vector<Handle> held;
  std::vector<Handle> staged;
  std::wstring to;
  std::wstring from;
  std::wstring name;
  // Directories made in the target stay, as the archive's own do.
  std::vector<std::wstring> made;
  if (!Walk(state_->target, components, parents, &made, held, to, reason)) return false;
  if (directory) return true;
  if (!Walk(state_->staging, components, parents, nullptr, staged, from, reason)) return false;
  Widened(components.back(), CP_UTF8, name);
  from += L'\\' + name;
  to += L'\\' + name;
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    reason = SystemMessage(GetLastError());
    return false;
  }
  return true;
}

}  // namespace povupdate_cli
