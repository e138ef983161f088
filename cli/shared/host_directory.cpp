#include "shared/host_directory.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32

namespace povupdate_cli {

// The DLL takes its files from beside the host's executable, always: there
// is no other directory to name, nor a system directory povupdate.exe is
// installed into.
void AddDirectoryOption(CLI::App&) {}

int RefuseSystemDirectory() { return 0; }

}  // namespace povupdate_cli

#else

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/linux/environment.h"
#include "platform/module_directory.h"
#include "shared/host_platform.h"
#include "shared/output.h"

namespace povupdate_cli {
namespace {

// Directories of programs, never of their data: a system's own update
// programs live there.
bool IsSystemDirectory(const std::string& directory) {
  for (const char* system : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/", "/usr/local/bin/"}) {
    if (directory == system) return true;
  }
  return false;
}

}  // namespace

void AddDirectoryOption(CLI::App& app) {
  app.add_option_function<std::string>(
         "--dir",
         [](const std::string& directory) {
           // Absolute, so that the default install directory made from it is.
           const std::string path =
               std::filesystem::absolute(directory).lexically_normal().string();
           setenv(povupdate::kModuleDirectoryVariable, path.c_str(), 1);
         },
         "The host directory, where the update file and the local configuration file are "
         "(default: POVUPDATE_MODULE_DIR, else the program's own directory); it wins over "
         "POVUPDATE_MODULE_DIR. Given before the command")
      ->type_name("DIR")
      ->check(CLI::ExistingDirectory.description(""));
}

int RefuseSystemDirectory() {
  // The library's own rule: under raised rights no variable, and so no
  // --dir, chooses the directory.
  if (povupdate::backend::PlaceSetting(povupdate::kModuleDirectoryVariable) != nullptr) return 0;
  const std::string own = HostDirectory();
  if (IsSystemDirectory(own)) {
    return ReportError(1, own +
                              " is a system directory, no place for update files: name the "
                              "host directory with --dir DIR or " +
                              povupdate::kModuleDirectoryVariable);
  }
  return 0;
}

}  // namespace povupdate_cli

#endif

#include <string>
#include <vector>

#include "shared/host_platform.h"
#include "shared/library.h"
#include "shared/output.h"
#include "shared/result_messages.h"

namespace povupdate_cli {

// The update file the library reads, unless `path` already names a file;
// the exit status of a failure after its message.
int ChooseUpdateFile(std::string& path) {
  if (!path.empty()) return 0;
  if (const int status = RefuseSystemDirectory()) return status;
  std::string name;
  if (!ReadUpdateFileName(name)) return ReportFailure("GetTheFileName", kNoTextResult);
  const std::string directory = HostDirectory();
  if (directory.empty())
    return ReportError(1, "the program's directory can't be found; name the file");
  path = directory + name;
  return 0;
}

// The files an edit names, or else the update file the library reads.
int ChooseUpdateFiles(std::vector<std::string>& files) {
  if (!files.empty()) return 0;
  std::string path;
  if (const int status = ChooseUpdateFile(path)) return status;
  files.push_back(path);
  return 0;
}

}  // namespace povupdate_cli
