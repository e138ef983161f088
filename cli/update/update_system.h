// What an update needs of the system it runs on: its download directory,
// the lock one update holds at a time, and downloads held still from their
// check until their installer starts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace povupdate_cli {

// The per-user download directory: Linux $XDG_CACHE_HOME/povupdate, else
// ~/.cache/povupdate (no variable counts under raised rights); Windows
// %LOCALAPPDATA%\PovUpdate\Downloads. "" when there is none.
std::string DefaultDownloadDirectory();

// Creates `directory` (and its parents) when missing, readable by its owner
// only; false, with `problem`, when it is a link, no directory or another
// user's, or can't be made so.
bool PrepareDownloadDirectory(const std::string& directory, std::string& problem);

// The update's lock, a file of its own. Held until every process that
// inherited it ends: an installer keeps it when povupdate is killed.
class UpdateLock {
 public:
  UpdateLock();
  ~UpdateLock();
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  // Takes the lock at `path`, waiting for another update that holds it
  // (`waiting` is called once first then); false, with `problem`, when the
  // lock can't be had.
  bool Take(const std::string& path, void (*waiting)(), std::string& problem);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// A downloaded file opened once: it is read for its check, and the same
// open file is what an installer runs, so no one can swap it in between.
class HeldFile {
 public:
  HeldFile();
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Opens the regular file at `path`, which no one but its owner (this
  // user) may write; false with `problem` otherwise.
  bool Open(const std::string& path, std::string& problem);
  // Reads on from where the last read ended; `got` is 0 at the end.
  bool Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem);
  // Back to the first byte.
  bool Rewind(std::string& problem);
  // Lets go of the file, so that it can be removed (Windows removes no
  // file open without sharing its deletion).
  void Close();
  const std::string& path() const { return path_; }
  // The system's own handle: a descriptor on Linux, a HANDLE on Windows.
  std::intptr_t native() const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::string path_;
};

// How an installer ended.
struct InstallerExit {
  bool started = false;
  long code = 0;
};

// Runs the held program with `parameters` (a command line by Windows'
// rules) and waits for it. On Linux the parameters are split by those rules
// and run with no shell; under raised rights the program gets a clean
// environment. The update's lock is inherited.
InstallerExit RunProgram(const HeldFile& program, const std::string& parameters,
                         std::string& problem);

// msiexec /i FILE followed by `parameters`; on Linux refused.
InstallerExit RunMsi(const HeldFile& package, const std::string& parameters, std::string& problem);

// Extracts the held zip archive into `target` (see zip_install.h).
bool ExtractZip(HeldFile& archive, const std::string& target, std::string& problem);

}  // namespace povupdate_cli
