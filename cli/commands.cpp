#include "commands.h"

#include <CLI/CLI.hpp>

#include "actions.h"

namespace povupdate_cli {

Commands::Commands(CLI::App& app) {
  app.require_subcommand(1);

  AddJsonFlag(*Add(app, "file-name", "Print the update file's name (Update_<version>.ini)",
                   [this] { return ShowUpdateFileName(json_); }));
  Add(app, "delete-update-file", "Delete the update file, read-only or not",
      [] { return DeleteUpdateFile(); });
  AddJsonFlag(*Add(app, "list", "Print every entry of the update list",
                   [this] { return ListUpdates(json_); }));

  CLI::App* local = Add(app, "local", "Read or record an item's installed version", nullptr);
  local->require_subcommand(1);
  CLI::App* get = Add(*local, "get", "Print the version recorded for NAME (empty when none)",
                      [this] { return ShowLocalVersion(name_, json_); });
  get->add_option("NAME", name_, "The item's name (its update-list section)")->required();
  AddJsonFlag(*get);
  CLI::App* set = Add(*local, "set", "Record VERSION as the installed version of NAME",
                      [this] { return RecordLocalVersion(name_, version_); });
  set->add_option("NAME", name_, "The item's name (its update-list section)")->required();
  set->add_option("VERSION", version_, "The version now installed")->required();

  AddJsonFlag(*Add(app, "status",
                   "Show each offered version beside the installed one and whether it is newer",
                   [this] { return ShowStatus(json_); }));

  CLI::App* install =
      Add(app, "install-path", "Print the install directory (storing the default on first use)",
          [this] { return ShowInstallPath(json_); });
  install->require_subcommand(0, 1);
  AddJsonFlag(*install);
  CLI::App* store = Add(*install, "set",
                        "Store DIR as the install directory (\"Install\" is appended to it "
                        "unless it already ends so) and print what was stored",
                        [this] { return StoreInstallPath(directory_, json_); });
  store->add_option("DIR", directory_, "The install directory")->required();
  AddJsonFlag(*store);

  CLI::App* check = Add(app, "check",
                        "Check an update file for mistakes before publishing it; exits 1 when "
                        "it has errors",
                        [this] { return ShowUpdateFileFindings(file_, json_); });
  check->add_option("FILE", file_,
                    "The file to check (default: the update file the library reads)");
  AddJsonFlag(*check);
}

int Commands::Run() const {
  // The last command parsed is the innermost one.
  for (auto it = actions_.rbegin(); it != actions_.rend(); ++it) {
    if (it->first->parsed() && it->second) return it->second();
  }
  return 0;
}

CLI::App* Commands::Add(CLI::App& parent, const std::string& name, const std::string& description,
                        std::function<int()> action) {
  CLI::App* command = parent.add_subcommand(name, description);
  actions_.emplace_back(command, std::move(action));
  return command;
}

void Commands::AddJsonFlag(CLI::App& command) {
  command.add_flag("--json", json_, "Print JSON for tools");
}

}  // namespace povupdate_cli
