#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace povupdate::fuzz {
namespace {

constexpr std::string_view kNameBlanks = " \t\v";

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

class OwnDirectory {
 public:
  OwnDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/povupdate-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror(pattern.c_str());
      std::abort();
    }
    path_ = pattern;
  }
  ~OwnDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  OwnDirectory(const OwnDirectory&) = delete;
  OwnDirectory& operator=(const OwnDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

InputReader::InputReader(const std::uint8_t* data, std::size_t size)
    : rest_(reinterpret_cast<const char*>(data), size) {}

std::uint8_t InputReader::Byte() {
  if (rest_.empty()) return 0;
  const auto byte = static_cast<std::uint8_t>(rest_.front());
  rest_.remove_prefix(1);
  return byte;
}

unsigned InputReader::Number() {
  const unsigned low = Byte();
  return low | static_cast<unsigned>(Byte()) << 8;
}

std::string InputReader::Line() {
  const std::size_t end = rest_.find('\n');
  std::string line(rest_.substr(0, end));
  rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
  return line;
}

std::string InputReader::Rest() {
  std::string rest(rest_);
  rest_ = {};
  return rest;
}

std::string CText(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

std::string ValueAsRead(std::string_view value) {
  value = Trim(value, " \t\v");
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

const std::string& PrivateDirectory() {
  static const OwnDirectory directory;
  return directory.path();
}

void UsePrivateDirectoryAsModuleDirectory() {
  const std::string& directory = PrivateDirectory();
  setenv("POVUPDATE_MODULE_DIR", directory.c_str(), 1);
  setenv("POVUPDATE_OS_VERSION", "6.1", 1);
  setenv("POVUPDATE_REGISTRY_DIR", (directory + "/registry").c_str(), 1);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

ProfileNames HarvestNames(std::string_view bytes, std::size_t most) {
  ProfileNames names;
  std::string section;
  bool in_section = false;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find_first_of("\r\n");
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    line = Trim(line.substr(0, line.find('\0')), kNameBlanks);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      section = Trim(line.substr(1, line.find(']') - 1), kNameBlanks);
      in_section = true;
      if (names.sections.size() < most) names.sections.push_back(section);
    } else if (const std::size_t equals = line.find('=');
               in_section && equals != std::string_view::npos && names.keys.size() < most) {
      names.keys.push_back(
          ProfileKey{section, std::string(Trim(line.substr(0, equals), kNameBlanks))});
    }
  }
  return names;
}

void Report(const std::string& failure) {
  if (failure.empty()) return;
  std::fprintf(stderr, "check failed: %s\n", failure.c_str());
  std::abort();
}

}  // namespace povupdate::fuzz
