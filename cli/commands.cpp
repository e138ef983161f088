#include "commands.h"

#include <CLI/CLI.hpp>
#include <cstdint>

#include <algorithm>

#include "check/check_commands.h"
#include "host/host_commands.h"
#include "publish/publish_commands.h"
#include "publish/signing.h"
#include "shared/host_directory.h"
#include "shared/result_messages.h"

namespace povupdate_cli {

Commands::Commands(CLI::App& app) {
  app.require_subcommand(1);
  AddJsonFlag(app);
  AddDirectoryOption(app);

  Add(app, "file-name", "Print the update file's name (Update_<version>.ini)",
      [this] { return ShowUpdateFileName(json_); });
  Add(app, "delete-update-file", "Delete the update file, read-only or not",
      [this] { return DeleteUpdateFile(json_); });
  Add(app, "list", "Print every entry of the update list", [this] { return ListUpdates(json_); });

  CLI::App* local = Add(app, "local", "Read or record an item's installed version", nullptr);
  local->require_subcommand(1);
  CLI::App* get = Add(*local, "get", "Print the version recorded for NAME (empty when none)",
                      [this] { return ShowLocalVersion(name_, json_); });
  get->add_option("NAME", name_, "The item's name (its update-list section)")->required();
  CLI::App* set = Add(*local, "set", "Record VERSION as the installed version of NAME",
                      [this] { return RecordLocalVersion(name_, version_, json_); });
  set->add_option("NAME", name_, "The item's name (its update-list section)")->required();
  set->add_option("VERSION", version_, "The version now installed")->required();

  Add(app, "status", "Show each offered version beside the installed one and whether it is newer",
      [this] { return ShowStatus(json_); });
  CLI::App* compare = Add(app, "compare",
                          "Compare versions A and B as people read them (1.0-rc1 < 1.0 = 1.0.0 "
                          "< 1.0.1): prints <, = or >",
                          [this] { return ShowVersionOrder(version_, other_version_, json_); });
  no_host_directory_.push_back(compare);
  compare->add_option("A", version_, "A version")->required();
  compare->add_option("B", other_version_, "The version A is compared with")->required();

  CLI::App* install =
      Add(app, "install-path", "Print the install directory (storing the default on first use)",
          [this] { return ShowInstallPath(json_); });
  install->require_subcommand(0, 1);
  CLI::App* store = Add(*install, "set",
                        "Store DIR as the install directory (\"Install\" is appended to it "
                        "unless it already ends so) and print what was stored",
                        [this] { return StoreInstallPath(directory_, json_); });
  store->add_option("DIR", directory_, "The install directory")->required();

  CLI::App* check =
      Add(app, "check",
          "Check an update file for mistakes before publishing it; exits 1 when "
          "it has errors",
          [this] { return ShowUpdateFileFindings(file_, downloads_, public_key_, json_); });
  no_host_directory_.push_back(check);
  check->add_option("FILE", file_,
                    "The file to check (default: the update file the library reads)");
  check
      ->add_option("--downloads", downloads_,
                   "A directory holding the downloads: each entry's file must be there and "
                   "match its MD5, SHA256 and Size")
      ->check(CLI::Validator(
          [](const std::string& directory) {
            return directory.empty() ? std::string("the downloads directory must be named")
                                     : std::string();
          },
          "DIR"));
  check->add_option("--key", public_key_,
                    "A public key file: the file's signature must match one of its keys");

  CLI::App* verify = Add(app, "verify",
                         "Check that FILE matches the SHA256 (else MD5) and Size of entry NAME "
                         "in the update list; exits 1 when it doesn't",
                         [this] { return VerifyDownload(name_, file_, json_); });
  verify->add_option("NAME", name_, "The entry's name")->required();
  verify->add_option("FILE", file_, "The downloaded file")->required();

  AddEntryCommands(app);
  AddUpdateCommand(app);
  AddSigningCommands(app);

  app.footer(
      "Exit status: 0 on success; 1 when check finds errors, verify a mismatch, verify-file "
      "an untrusted file, or entry refuses an edit; the library's result code (1 to " +
      std::to_string(HighestResultCode()) +
      ") when a call of it fails; 99 when it hands back no text; 70 when memory runs out or "
      "output fails; 100 to 127 (CLI11's codes, 106 for a missing argument, 109 for an "
      "unexpected one) for a usage error.");
}

void Commands::AddEntryCommands(CLI::App& app) {
  CLI::App* entry = Add(app, "entry", "Write or remove an entry of update files", nullptr);
  entry->require_subcommand(1);
  CLI::App* set = Add(*entry, "set",
                      "Set entry NAME from INSTALLER: its MD5 and size are computed, the entry "
                      "is added to the index unless it is there",
                      [this] { return SetUpdateEntry(installer_, entry_, files_, json_); });
  no_host_directory_.push_back(set);
  set->add_option("INSTALLER", installer_, "The installer file")->required();
  set->add_option("--name", entry_.name, "The entry's name (its section)")->required();
  set->add_option("--version", entry_.version, "The version offered")->required();
  set->add_option("--url", entry_.url, "Where hosts download the installer")->required();
  set->add_option("--install-type", entry_.install_type,
                  "exe, msi or zip (default: the installer's extension)");
  set->add_option("--install-path", entry_.install_path,
                  "The install directory; a leading 1 stands for the system drive's root");
  set->add_option("--parameters", entry_.parameters, "The installer's parameters");
  AddFilesOption(*set);
  CLI::App* remove =
      Add(*entry, "remove", "Remove entry NAME and renumber the index entries after it",
          [this] { return RemoveUpdateEntry(name_, files_, json_); });
  no_host_directory_.push_back(remove);
  remove->add_option("NAME", name_, "The entry's name")->required();
  AddFilesOption(*remove);
}

void Commands::AddUpdateCommand(CLI::App& app) {
  CLI::App* update = Add(app, "update",
                         "Download, check, install and record every entry newer than the "
                         "version recorded for it; exits 1 when one of them failed",
                         [this] {
                           update_.json = json_;
                           return RunUpdate(update_);
                         });
  CLI::App* fetch = Add(app, "fetch",
                        "Download the update file from URL and put it in place of the current "
                        "one, only once it verifies where a key applies",
                        [this] { return RunFetch(fetch_, json_); });
  fetch->add_option("URL", fetch_.url, "Where the update file is")->required();
  fetch->add_option("--key", fetch_.key, "The public key file (default: PovUpdate.pub)")
      ->type_name("PUBLIC");
  fetch
      ->add_option("--ca-file", fetch_.transfer.ca_file,
                   "PEM certificates of an authority trusted besides the system's")
      ->type_name("FILE");

  update->add_option("--from", update_.from, "Fetch the update file from URL first")
      ->type_name("URL");
  update->add_option("--key", update_.key, "The public key for --from (default: PovUpdate.pub)")
      ->type_name("PUBLIC");
  update->add_option("--only", update_.only, "Only entry NAME (once per entry)")->type_name("NAME");
  update->add_flag("--new", update_.new_entries, "Also install entries not installed yet");
  update->add_flag("--dry-run", update_.dry_run, "Say what would be done, and write nothing");
  update->add_flag("--allow-unsigned", update_.allow_unsigned,
                   "Install although no publisher key (PovUpdate.pub) vouches for the update "
                   "file");
  update
      ->add_option("--downloads", update_.downloads,
                   "The download directory (default: the user's cache directory)")
      ->type_name("DIR");
  update
      ->add_option("--ca-file", update_.transfer.ca_file,
                   "PEM certificates of an authority trusted besides the system's")
      ->type_name("FILE");
  update
      ->add_option("--timeout", update_.transfer.stall_timeout,
                   "Seconds without a byte before a download counts as stalled (30)")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  update->add_flag("--quiet", update_.quiet, "No progress lines");
}

void Commands::AddSigningCommands(CLI::App& app) {
  CLI::App* key = Add(app, "key", "Make the key pair that signs update files", nullptr);
  key->require_subcommand(1);
  CLI::App* make = Add(*key, "new",
                       "Make a new ECDSA P-256 key pair: PRIVATE (PEM, PKCS#8, readable by its "
                       "owner only) and PUBLIC (PEM); never overwrites a file",
                       [this] { return MakeKeyPair(key_, public_key_, json_); });
  no_host_directory_.push_back(make);
  make->add_option("PRIVATE", key_, "The private key file to make")->required();
  make->add_option("PUBLIC", public_key_, "The public key file to make")->required();

  CLI::App* sign = Add(app, "sign",
                       "Sign an update file: its old signature section is replaced by a new "
                       "one, in one step",
                       [this] { return SignFile(file_, key_, expires_, serial_, json_); });
  no_host_directory_.push_back(sign);
  sign->add_option("FILE", file_, "The file to sign (default: the update file the library reads)");
  sign->add_option("--key", key_, "The private key (PEM, PKCS#8)")->required();
  sign->add_option("--expires", expires_,
                   "When the signature expires: a number of days or a UTC time "
                   "YYYY-MM-DDThh:mm:ssZ (default: 90 days)");
  sign->add_option("--serial", serial_,
                   "The file's serial, 1 to 2^63-1 (default: the larger of the old serial plus "
                   "one and the current Unix time)")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{INT64_MAX}));

  CLI::App* verify = Add(app, "verify-file",
                         "Check an update file's signature; exits 1 unless a key of the key "
                         "file signed it, for its name, and it has not expired",
                         [this] { return VerifyFile(file_, public_key_, json_); });
  verify->add_option("FILE", file_,
                     "The file to check (default: the update file the library reads)");
  verify->add_option("--key", public_key_,
                     "The public key file (default: PovUpdate.pub beside the library's files)");
}

void Commands::AddFilesOption(CLI::App& command) {
  command.add_option("--file", files_,
                     "An update file to edit, once per file (default: the update file the "
                     "library reads); a missing one is created");
}

int Commands::Run() const {
  // The last command parsed is the innermost one.
  for (auto it = actions_.rbegin(); it != actions_.rend(); ++it) {
    if (!it->first->parsed() || !it->second) continue;
    const bool needs_no_directory = std::find(no_host_directory_.begin(), no_host_directory_.end(),
                                              it->first) != no_host_directory_.end();
    if (!needs_no_directory) {
      if (const int status = RefuseSystemDirectory()) return status;
    }
    return it->second();
  }
  return 0;
}

CLI::App* Commands::Add(CLI::App& parent, const std::string& name, const std::string& description,
                        std::function<int()> action) {
  CLI::App* command = parent.add_subcommand(name, description);
  // Every command: a tool gets JSON whatever it runs, failures included.
  AddJsonFlag(*command);
  actions_.emplace_back(command, std::move(action));
  return command;
}

void Commands::AddJsonFlag(CLI::App& command) {
  command.add_flag("--json", json_, "Print JSON for tools, failures too");
}

}  // namespace povupdate_cli
