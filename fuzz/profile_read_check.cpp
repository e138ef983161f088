// GetPrivateProfileStringA must keep to the caller's buffer whatever the
// file holds: nothing at or past buffer[size], a result below the size (0
// for size 0), a terminated buffer, and what fits of the whole value.
//
// Input: a flags byte, a pick byte, the buffer size (two bytes, modulo
// 3001), three lines (section, key, default), and the file's bytes.
#include <cstring>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"
#include "platform/linux/win32_api.h"

namespace povupdate::fuzz {
namespace {

constexpr unsigned kMostBufferSize = 3000;
constexpr std::size_t kGuardSize = 64;
constexpr char kGuardByte = '\x5A';
constexpr std::size_t kMostNames = 64;

// Flags: names from the file rather than from the input, so that most
// reads find something; spaces around the names, which a read ignores; a
// null default.
constexpr std::uint8_t kNamesFromFile = 1;
constexpr std::uint8_t kSpacedNames = 2;
constexpr std::uint8_t kNullDefault = 4;

}  // namespace

std::string CheckProfileRead(const std::uint8_t* data, std::size_t size,
                             const std::string& directory) {
  InputReader input(data, size);
  const std::uint8_t flags = input.Byte();
  const std::uint8_t pick = input.Byte();
  const DWORD buffer_size = input.Number() % (kMostBufferSize + 1);
  std::string section = CText(input.Line());
  std::string key = CText(input.Line());
  const std::string fallback = CText(input.Line());
  const std::string file = input.Rest();

  const std::vector<ProfileKey> keys = HarvestNames(file, kMostNames).keys;
  if ((flags & kNamesFromFile) != 0 && !keys.empty()) {
    section = keys[pick % keys.size()].section;
    key = keys[pick % keys.size()].key;
  }
  if ((flags & kSpacedNames) != 0) {
    section = " " + section + "  ";
    key = "  " + key + " ";
  }
  const char* default_value = (flags & kNullDefault) != 0 ? nullptr : fallback.c_str();
  const std::string path = directory + "/profile.ini";
  if (!WriteFileBytes(path, file)) return "can't write " + path;

  // Neither the file nor the default holds a longer text than this (two
  // bytes of a UTF-16 file can become three of UTF-8).
  std::vector<char> whole(file.size() / 2 * 3 + fallback.size() + 2);
  const DWORD whole_length =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value, whole.data(),
                               static_cast<DWORD>(whole.size()), path.c_str());
  if (whole_length + 1 >= whole.size() || std::strlen(whole.data()) != whole_length) {
    return "the value read with room to spare is cut or mismeasured: " +
           std::to_string(whole_length);
  }

  std::vector<char> buffer(buffer_size + kGuardSize, kGuardByte);
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value,
                                                buffer.data(), buffer_size, path.c_str());
  for (std::size_t i = buffer_size; i < buffer.size(); ++i) {
    if (buffer[i] != kGuardByte) return "wrote buffer[" + std::to_string(i) + "]";
  }
  if (buffer_size == 0) return length == 0 ? "" : "returned " + std::to_string(length);
  if (length >= buffer_size) {
    return "returned " + std::to_string(length) + " for size " + std::to_string(buffer_size);
  }
  if (std::memchr(buffer.data(), '\0', length + 1) != buffer.data() + length) {
    return "the buffer's terminator is not at the result " + std::to_string(length);
  }
  const DWORD fits = whole_length < buffer_size ? whole_length : buffer_size - 1;
  if (length != fits || std::memcmp(buffer.data(), whole.data(), length) != 0) {
    return "the value read into " + std::to_string(buffer_size) +
           " bytes is not the start of the whole value";
  }
  return "";
}

}  // namespace povupdate::fuzz
