// povupdate update: the whole update of a host, through the library's
// exports as any host makes it. Walk the update list, and for each entry
// newer than what is recorded: download, check Size and SHA-256 (MD5 where
// the entry has none), install by its type, record the version only after
// the installer succeeded, remove the download.
#pragma once

#include <string>
#include <vector>

#include "update/transfer.h"

namespace povupdate_cli {

struct UpdateOptions {
  // Fetch the update file from here first (as povupdate fetch does), with
  // this public key file ("" for PovUpdate.pub).
  std::string from;
  std::string key;
  // Only the entries of these names (any case); all when empty.
  std::vector<std::string> only;
  // Also entries with no recorded version.
  bool new_entries = false;
  bool dry_run = false;
  // Run installers although no publisher key vouches for the update file.
  bool allow_unsigned = false;
  std::string downloads;
  // The command's --json: the results as one object.
  bool json = false;
  bool quiet = false;
  TransferOptions transfer;
};

// The exit status: 0 when every entry tried succeeded, 1 when one failed.
int RunUpdate(const UpdateOptions& options);

}  // namespace povupdate_cli
