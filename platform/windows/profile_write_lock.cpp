// One named mutex per profile file, shared by every process of the user's
// session that writes the file through the library.
#include "platform/profile_write_lock.h"

#include <cstdint>

namespace povupdate {
namespace {

constexpr char kNamePrefix[] = "Local\\PovUpdate-profile-";
constexpr std::size_t kHashDigits = 16;
constexpr std::size_t kNameSize = sizeof kNamePrefix + kHashDigits;

// FNV-1a, 64 bits, of the UTF-16 code units' bytes, low byte first.
std::uint64_t HashOf(const WCHAR* text, int length) {
  std::uint64_t hash = 14695981039346656037ull;
  for (int i = 0; i < 2 * length; ++i) {
    hash ^= (static_cast<unsigned>(text[i / 2]) >> (i % 2 * 8)) & 0xFFu;
    hash *= 1099511628211ull;
  }
  return hash;
}

// The mutex's name: one for every spelling of the file's path, for Windows
// takes a path in any case and relative to the current directory, and a
// mutex name only as given. A name may hold no backslash after its
// namespace, so the full path in upper case is hashed.
bool MutexName(const char* path, char (&name)[kNameSize]) {
  WCHAR given[MAX_PATH];
  WCHAR full[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, given, MAX_PATH) == 0) return false;
  const DWORD length = GetFullPathNameW(given, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  const int upper = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full, static_cast<int>(length),
                                 given, MAX_PATH);
  if (upper == 0) return false;
  std::uint64_t hash = HashOf(given, upper);
  lstrcpyA(name, kNamePrefix);
  char* digits = name + sizeof kNamePrefix - 1;
  for (std::size_t i = kHashDigits; i > 0; --i, hash >>= 4u) {
    digits[i - 1] = "0123456789abcdef"[hash & 0xFu];
  }
  digits[kHashDigits] = '\0';
  return true;
}

}  // namespace

ProfileWriteLock::ProfileWriteLock(const char* path) {
  char name[kNameSize];
  if (!MutexName(path, name)) return;
  mutex_ = CreateMutexA(nullptr, FALSE, name);
  if (mutex_ == nullptr) return;
  // A holder that ended without releasing the mutex holds nothing any more:
  // the lock is ours, and the file is as the holder's last write left it.
  const DWORD waited = WaitForSingleObject(mutex_, kPatienceMilliseconds);
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

ProfileWriteLock::~ProfileWriteLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

}  // namespace povupdate
