// povupdate's commands and their options, as CLI11 parses them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "publish/update_file_editor.h"
#include "update/fetch.h"
#include "update/update_command.h"

namespace CLI {
class App;
}

namespace povupdate_cli {

class Commands {
 public:
  // Adds every command to `app`.
  explicit Commands(CLI::App& app);

  // Runs the command that `app` parsed; returns the exit status.
  int Run() const;

  // Whether --json was given, to the command or before it.
  bool json() const { return json_; }

 private:
  CLI::App* Add(CLI::App& parent, const std::string& name, const std::string& description,
                std::function<int()> action);
  void AddJsonFlag(CLI::App& command);
  void AddEntryCommands(CLI::App& app);
  void AddSigningCommands(CLI::App& app);
  void AddFilesOption(CLI::App& command);
  void AddUpdateCommand(CLI::App& app);

  // The options of all commands: only one command runs.
  bool json_ = false;
  std::string name_;
  std::string version_;
  std::string other_version_;
  std::string directory_;
  std::string file_;
  std::string downloads_;
  std::string installer_;
  std::string key_;
  std::string public_key_;
  std::string expires_;
  std::int64_t serial_ = 0;
  EntryTexts entry_;
  std::vector<std::string> files_;
  UpdateOptions update_;
  FetchOptions fetch_;
  // The commands that need no host directory (compare) or may work on files
  // they are given instead (check, entry), which check the directory
  // themselves when they come to use it.
  std::vector<CLI::App*> no_host_directory_;
  // In the order added, so a subcommand comes after its parent.
  std::vector<std::pair<CLI::App*, std::function<int()>>> actions_;
};

}  // namespace povupdate_cli
