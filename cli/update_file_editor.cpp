#include "update_file_editor.h"

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "file_access.h"
#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "platform/win32.h"
#include "profile_text.h"
#include "update_file_checker.h"

namespace povupdate_cli {
namespace {

constexpr DWORD kIndexBufferSize = 260;

int Refuse(const std::string& message) {
  std::cerr << "povupdate: " << message << "; no file was changed\n";
  return 1;
}

// A value reads back as written when no read trims or unquotes it.
bool ReadsBackAsValue(const std::string& value) {
  const std::string line = "k=" + value;
  return !povupdate::HasLineBreak(value) && value.size() <= kMaxValue &&
         povupdate::ParseProfileLine(line).value == value;
}

// What keeps `name` from being read back as an entry: its header, and the
// index value naming it, must each give exactly `name`.
std::string NameProblem(const std::string& name) {
  if (name.empty()) return "an entry needs a name";
  if (povupdate::HasLineBreak(name)) return "the name holds a line break";
  if (name.size() > kMaxSectionName) {
    return "the name has more than " + std::to_string(kMaxSectionName) + " characters";
  }
  const std::string line = "[" + name + "]";
  const povupdate::ProfileLine header = povupdate::ParseProfileLine(line);
  if (header.name != name || !header.after_close.empty() || !ReadsBackAsValue(name)) {
    return "no section header can hold the name (']', blanks at its ends, or quotes around it)";
  }
  if (povupdate::EqualsIgnoringAsciiCase(name, kIndexSection))
    return "the index section is no entry";
  return "";
}

std::string TypeFromExtension(const std::string& installer) {
  const std::size_t dot = installer.find_last_of('.');
  const std::size_t separator = installer.find_last_of("/\\");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return "";
  const std::string extension = povupdate::FoldAsciiCase(installer.substr(dot + 1));
  for (const char* known : {"exe", "msi", "zip"}) {
    if (extension == known) return known;
  }
  return "";
}

// An update file as it stands: its index, read as the library reads it.
struct UpdateFile {
  std::string path;
  bool exists = false;
  std::vector<std::string> index;  // the values of keys 1, 2, ... up to the first empty one
};

// Reads each file's index; false after a message when a file is there but
// can't be read as a regular file.
bool LoadFiles(const std::vector<std::string>& paths, std::vector<UpdateFile>& files) {
  for (const std::string& given : paths) {
    // Windows looks for a profile file named without a directory in its own.
    const std::string path = std::filesystem::absolute(given).string();
    UpdateFile file{path, false, {}};
    std::string bytes;
    std::string problem;
    if (ReadRegularFile(path, bytes, problem)) {
      file.exists = true;
    } else if (std::error_code error; std::filesystem::exists(path, error)) {
      Refuse(problem.insert(0, path + " "));
      return false;
    }
    for (int number = 1;; ++number) {
      char value[kIndexBufferSize] = {};
      GetPrivateProfileStringA(kIndexSection, std::to_string(number).c_str(), "", value,
                               kIndexBufferSize, path.c_str());
      if (value[0] == '\0') break;
      file.index.emplace_back(value);
    }
    files.push_back(file);
  }
  return true;
}

bool Write(const UpdateFile& file, const char* section, const char* key, const char* value) {
  if (WritePrivateProfileStringA(section, key, value, file.path.c_str())) return true;
  std::cerr << "povupdate: " << file.path << " can't be written (system error " << GetLastError()
            << ")\n";
  return false;
}

bool WriteIndexKey(const UpdateFile& file, std::size_t number, const char* value) {
  return Write(file, kIndexSection, std::to_string(number).c_str(), value);
}

std::size_t FindInIndex(const UpdateFile& file, const std::string& name) {
  for (std::size_t i = 0; i < file.index.size(); ++i) {
    if (povupdate::EqualsIgnoringAsciiCase(file.index[i], name)) return i + 1;
  }
  return 0;
}

}  // namespace

int SetEntry(const std::string& installer, EntryTexts entry,
             const std::vector<std::string>& paths) {
  const std::string name_problem = NameProblem(entry.name);
  if (!name_problem.empty()) return Refuse(name_problem);
  if (entry.install_type.empty()) entry.install_type = TypeFromExtension(installer);
  std::string md5;
  std::string sha256;
  std::uint64_t size = 0;
  std::string problem;
  if (!DigestRegularFile(installer, md5, sha256, size, problem)) {
    return Refuse("the installer " + installer + " " + problem);
  }
  const std::string size_text = std::to_string(size);
  const std::pair<const char*, const std::string*> keys[] = {{"Version", &entry.version},
                                                             {"DownLoadPath", &entry.url},
                                                             {"MD5", &md5},
                                                             {"SHA256", &sha256},
                                                             {"InstallType", &entry.install_type},
                                                             {"InstallPath", &entry.install_path},
                                                             {"InstallParmeter", &entry.parameters},
                                                             {"Size", &size_text}};
  for (const auto& [key, value] : keys) {
    if (!ReadsBackAsValue(*value)) {
      return Refuse(std::string(key) +
                    " can't be stored as given (a line break, blanks at its "
                    "ends, quotes around it, or more than 2599 characters)");
    }
  }
  std::vector<UpdateFile> files;
  if (!LoadFiles(paths, files)) return 1;

  for (const UpdateFile& file : files) {
    // The index first, so that a new file starts with it.
    if (FindInIndex(file, entry.name) == 0 &&
        !WriteIndexKey(file, file.index.size() + 1, entry.name.c_str())) {
      return 1;
    }
    for (const auto& [key, value] : keys) {
      if (!Write(file, entry.name.c_str(), key, value->c_str())) return 1;
    }
    std::cerr << file.path << ": entry " << entry.name << " set (MD5 " << md5 << ", " << size
              << " bytes)\n";
  }
  return 0;
}

int RemoveEntry(const std::string& name, const std::vector<std::string>& paths) {
  std::vector<UpdateFile> files;
  if (!LoadFiles(paths, files)) return 1;
  for (const UpdateFile& file : files) {
    if (FindInIndex(file, name) == 0) {
      return Refuse(file.path + " has no entry " + name + " in its index");
    }
  }
  for (const UpdateFile& file : files) {
    // The entries after it move up one, so no gap ends the list early.
    std::vector<std::string> kept;
    for (const std::string& value : file.index) {
      if (!povupdate::EqualsIgnoringAsciiCase(value, name)) kept.push_back(value);
    }
    for (std::size_t i = 0; i < file.index.size(); ++i) {
      const char* value = i < kept.size() ? kept[i].c_str() : nullptr;
      if (i < kept.size() && kept[i] == file.index[i]) continue;
      if (!WriteIndexKey(file, i + 1, value)) return 1;
    }
    if (!Write(file, name.c_str(), nullptr, nullptr)) return 1;
    std::cerr << file.path << ": entry " << name << " removed\n";
  }
  return 0;
}

}  // namespace povupdate_cli
