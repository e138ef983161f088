#include "publish/profile_edit.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "shared/file_access.h"
#include "shared/output.h"

namespace povupdate_cli {
namespace {

using povupdate::backend::IniDocument;

// A file and what the edit makes of it.
struct PreparedFile {
  std::string path;
  std::string after;
  bool changed = false;
};

int Refuse(const std::string& path, const std::string& problem) {
  return ReportError(1, path + " " + problem + "; no file was changed");
}

std::string Listed(const std::vector<std::string>& paths) {
  if (paths.empty()) return "none";
  std::string list;
  for (const std::string& path : paths) list += (list.empty() ? "" : ", ") + path;
  return list;
}

// Reads, changes and checks one file; "" when it is ready to be replaced.
std::string Prepare(PreparedFile& file, const FileChange& change) {
  std::string bytes;
  std::string problem;
  const bool exists = ReadRegularFile(file.path, bytes, problem);
  std::error_code error;
  if (!exists && std::filesystem::exists(file.path, error)) return problem;
  const IniDocument before(std::move(bytes));
  if (!before.IndexedWhole()) return "is too large to edit";
  if (!change(before, file.after, problem)) return problem;
  file.changed = !exists || file.after != before.bytes();
  return file.changed ? ReplaceProblem(file.path, exists) : "";
}

}  // namespace

int EditFiles(const std::vector<std::string>& paths, const FileChange& change,
              const std::string& done, bool json) {
  std::vector<std::string> unique;
  for (const std::string& path : paths) {
    if (std::find(unique.begin(), unique.end(), path) == unique.end()) unique.push_back(path);
  }
  EditLocks locks;
  std::string failed;
  std::string problem;
  if (!locks.Take(unique, failed, problem)) return Refuse(failed, problem);
  std::vector<PreparedFile> files(unique.size());
  for (std::size_t i = 0; i < unique.size(); ++i) {
    files[i].path = unique[i];
    problem = Prepare(files[i], change);
    if (!problem.empty()) return Refuse(unique[i], problem);
  }
  std::vector<std::string> replaced;
  for (PreparedFile& file : files) {
    if (file.changed && !ReplaceRegularFile(file.path, file.after, problem)) {
      std::vector<std::string> unchanged;
      for (const PreparedFile& other : files) {
        if (other.changed && other.path != file.path &&
            std::find(replaced.begin(), replaced.end(), other.path) == replaced.end()) {
          unchanged.push_back(other.path);
        }
      }
      return ReportError(1, file.path + " " + problem + "; it is unchanged, as are " +
                                Listed(unchanged) + "; changed already: " + Listed(replaced));
    }
    if (file.changed) replaced.push_back(file.path);
    file.after = std::string();
  }
  for (std::string line : unique) PrintMessage(line.append(": ").append(done));
  PrintFiles(unique, json);
  return 0;
}

}  // namespace povupdate_cli
