// povupdate fetch: the update file from a server, put in place of the
// current one in one rename, and only once it verifies where a key applies.
#pragma once

#include <string>

#include "update/transfer.h"

namespace povupdate_cli {

struct FetchOptions {
  std::string url;
  // The public key file; "" for PovUpdate.pub beside the update file.
  std::string key;
  TransferOptions transfer;
};

// The most an update file may be.
constexpr std::uint64_t kMaxUpdateFile = std::uint64_t{16} << 20;

// Fetches the update file. With a key (`options.key`, or PovUpdate.pub
// beside the update file) the new file must be signed by it for this file's
// name, unexpired, with a Serial no lower than the highest this host has
// accepted for that name; that serial is the host's own state (Windows: the
// registry, under the install key's "AcceptedSerials", value the file's
// name; Linux: the user's state directory), recorded only once the new file
// is in place. Sets `signed_file` when a key
// verified it. False, with `problem`, when the current file stays.
bool FetchUpdateFile(const FetchOptions& options, bool& signed_file, std::string& problem);

// The command: its exit status, 0 or 1, after its messages; with `json`,
// the object {"File", "From", "Verified"}.
int RunFetch(const FetchOptions& options, bool json);

}  // namespace povupdate_cli
