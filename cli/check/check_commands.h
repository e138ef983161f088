// The checks: an update file before it is published, a download against its
// entry, an update file's signature. Each returns the exit status: 0 when
// the check passes, 1 when the file has errors, the download doesn't match
// or the signature isn't trusted, else the library's result code. An empty
// `file` stands for the update file the library reads.
#pragma once

#include <string>

namespace povupdate_cli {

// With `downloads`, a directory, each entry's download is compared with its
// file. With `key`, a public key file, the file's signature must match.
int ShowUpdateFileFindings(const std::string& file, const std::string& downloads,
                           const std::string& key, bool json);
int VerifyDownload(const std::string& name, const std::string& file, bool json);
int VerifyFile(const std::string& file, const std::string& key, bool json);

}  // namespace povupdate_cli
