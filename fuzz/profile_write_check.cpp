// WritePrivateProfileStringA of a name that can round-trip, into any file:
// the key then reads back as written, every other key reads as before, and
// the same write again changes nothing.
//
// Input: a flags byte, a pick byte, three lines (section, key, value), and
// the file's bytes.
#include <algorithm>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"
#include "platform/linux/win32_api.h"

namespace povupdate::fuzz {
namespace {

constexpr std::size_t kMostNames = 16;
// What a read of an absent key returns: no value holds a line break.
constexpr char kAbsent[] = "\n";

// Flags: the section, or the key, one the file already has.
constexpr std::uint8_t kSectionFromFile = 1;
constexpr std::uint8_t kKeyFromFile = 2;

// A name that a write puts into the file as it is and a read finds again:
// no line break, ']' or '=', no blanks at either end, and no ';' or '[' in
// front, which would make its line a comment or a section.
std::string RoundTripName(std::string name) {
  name.erase(std::remove_if(name.begin(), name.end(),
                            [](char c) { return c == '\r' || c == '\n' || c == ']' || c == '='; }),
             name.end());
  for (;;) {
    name = std::string(Trim(name, " \t\v"));
    if (name.empty() || (name.front() != ';' && name.front() != '[')) return name;
    name.erase(0, 1);
  }
}

// The keys whose values the write must leave alone, and the written one: the
// file's keys, its keys' names in the written section and the written key's
// name in its sections.
std::vector<ProfileKey> NamesToRead(const ProfileNames& names, const ProfileKey& written) {
  std::vector<ProfileKey> all = names.keys;
  for (const ProfileKey& name : names.keys) all.push_back(ProfileKey{written.section, name.key});
  for (const std::string& section : names.sections) all.push_back(ProfileKey{section, written.key});
  return all;
}

std::string ReadValue(const ProfileKey& name, const std::string& path, std::size_t room) {
  std::vector<char> buffer(room);
  const DWORD length =
      GetPrivateProfileStringA(name.section.c_str(), name.key.c_str(), kAbsent, buffer.data(),
                               static_cast<DWORD>(room), path.c_str());
  return std::string(buffer.data(), length);
}

std::string Describe(const ProfileKey& name) { return "[" + name.section + "] " + name.key; }

}  // namespace

std::string CheckProfileWrite(const std::uint8_t* data, std::size_t size,
                              const std::string& directory) {
  InputReader input(data, size);
  const std::uint8_t flags = input.Byte();
  const std::uint8_t pick = input.Byte();
  ProfileKey written{CText(input.Line()), CText(input.Line())};
  std::string value = CText(input.Line());
  value.erase(
      std::remove_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }),
      value.end());
  const std::string file = input.Rest();

  const ProfileNames names = HarvestNames(file, kMostNames);
  if ((flags & kSectionFromFile) != 0 && !names.sections.empty()) {
    written.section = names.sections[pick % names.sections.size()];
  }
  if ((flags & kKeyFromFile) != 0 && !names.keys.empty()) {
    written.key = names.keys[pick % names.keys.size()].key;
  }
  written.section = RoundTripName(written.section);
  written.key = RoundTripName(written.key);
  // A UTF-16 file stores text, not bytes: broken UTF-8 would come back as
  // U+FFFD, so such a file is given ASCII to write.
  if (file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE') {
    for (std::string* text : {&written.section, &written.key, &value}) {
      for (char& c : *text) {
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
      }
    }
  }

  const std::string path = directory + "/profile.ini";
  if (!WriteFileBytes(path, file)) return "can't write " + path;
  // Room for any value of the file as it is before and after the write.
  const std::size_t room =
      file.size() / 2 * 3 + written.section.size() + written.key.size() + value.size() + 16;
  const std::vector<ProfileKey> others = NamesToRead(names, written);
  std::vector<std::string> before;
  for (const ProfileKey& name : others) before.push_back(ReadValue(name, path, room));

  if (!WritePrivateProfileStringA(written.section.c_str(), written.key.c_str(), value.c_str(),
                                  path.c_str())) {
    return "the write of " + Describe(written) + " failed, error " + std::to_string(GetLastError());
  }
  const std::string read = ReadValue(written, path, room);
  if (read != ValueAsRead(value)) {
    return Describe(written) + " reads back as \"" + read + "\", not \"" + ValueAsRead(value) +
           "\"";
  }
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (SameName(others[i].section, written.section) && SameName(others[i].key, written.key)) {
      continue;
    }
    const std::string after = ReadValue(others[i], path, room);
    if (after != before[i]) {
      return "writing " + Describe(written) + " changed " + Describe(others[i]) + " from \"" +
             before[i] + "\" to \"" + after + "\"";
    }
  }

  const std::string once = ReadFileBytes(path);
  if (!WritePrivateProfileStringA(written.section.c_str(), written.key.c_str(), value.c_str(),
                                  path.c_str()) ||
      ReadFileBytes(path) != once) {
    return "writing " + Describe(written) + " a second time changed the file";
  }
  return "";
}

}  // namespace povupdate::fuzz
