// Recording a version through the exports, with any name and version, into
// any local configuration file: the write is refused and the file stays as
// it was, or the version reads back under that name, every other item reads
// as before, and the same write again changes nothing.
//
// Input: a flags byte, a pick byte, two lines (name, version), and the
// file's bytes.
#include <cstdlib>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"
#include "interface/povupdate.h"

namespace povupdate::fuzz {
namespace {

constexpr std::size_t kMostNames = 16;
// The library reads a value into a block of this size.
constexpr std::size_t kValueBlockSize = 2600;

// Flags: the name starts with one of the file's sections, so that the line
// of the input can add blanks or other characters to a name the file holds.
constexpr std::uint8_t kNameFromFile = 1;

struct Recorded {
  int result;
  std::string version;
};

Recorded ReadItem(const std::string& name) {
  SoftwareInforRecord record{};
  const int result = GetTheLocalSoftwareInforFromIni(name.c_str(), &record);
  Recorded read{result, result == POVUPDATE_OK ? record.Version : ""};
  if (result == POVUPDATE_OK) {
    for (char** field = &record.Name; field <= &record.Size; ++field) std::free(*field);
  }
  return read;
}

int WriteItem(const std::string& name, const std::string& version) {
  SoftwareInforRecord record{};
  record.Name = const_cast<char*>(name.c_str());
  record.Version = const_cast<char*>(version.c_str());
  return UpdateLocalSoftwareInforToIni(&record);
}

std::string Describe(const std::string& name, const std::string& version) {
  return "recording \"" + version + "\" for \"" + name + "\"";
}

}  // namespace

std::string CheckLocalWrite(const std::uint8_t* data, std::size_t size,
                            const std::string& directory) {
  InputReader input(data, size);
  const std::uint8_t flags = input.Byte();
  const std::uint8_t pick = input.Byte();
  std::string name = CText(input.Line());
  const std::string version = CText(input.Line());
  const std::string file = input.Rest();

  const std::vector<std::string> sections = HarvestNames(file, kMostNames).sections;
  if ((flags & kNameFromFile) != 0 && !sections.empty()) {
    name.insert(0, sections[pick % sections.size()]);
  }
  const std::string path = directory + "/PovConfig_6.1.ini";
  if (!WriteFileBytes(path, file)) return "can't write " + path;
  std::vector<Recorded> before;
  for (const std::string& section : sections) before.push_back(ReadItem(section));

  const std::string what = Describe(name, version);
  const int result = WriteItem(name, version);
  if (result != POVUPDATE_OK) {
    if (ReadFileBytes(path) != file) {
      return what + " failed with " + std::to_string(result) + " but changed the file";
    }
    return "";
  }
  const Recorded read = ReadItem(name);
  const std::string expected = ValueAsRead(version).substr(0, kValueBlockSize - 1);
  if (read.result != POVUPDATE_OK || read.version != expected) {
    return what + " returned 0, but it reads back as \"" + read.version + "\" (" +
           std::to_string(read.result) + ")";
  }
  // Reads drop the spaces around the name asked for.
  const std::string_view item = Trim(name, " ");
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (SameName(Trim(sections[i], " "), item)) continue;
    const Recorded after = ReadItem(sections[i]);
    if (after.result != before[i].result || after.version != before[i].version) {
      return what + " changed \"" + sections[i] + "\" from \"" + before[i].version + "\" to \"" +
             after.version + "\"";
    }
  }
  const std::string once = ReadFileBytes(path);
  if (WriteItem(name, version) != POVUPDATE_OK || ReadFileBytes(path) != once) {
    return what + " a second time changed the file";
  }
  return "";
}

}  // namespace povupdate::fuzz
