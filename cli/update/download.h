// A download into a ".part" file beside its final name, resumed where a
// cut connection or an earlier run left it, and never longer than the
// entry promises.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/transfer.h"

namespace povupdate_cli {

// Told the bytes so far and the bytes expected, as they arrive.
using ProgressReport = std::function<void(std::uint64_t done, std::uint64_t total)>;

struct DownloadPlan {
  std::string url;
  // Where the whole download ends up; it grows in `path` + ".part".
  std::string path;
  // The entry's Size: the download must be exactly this long; or, when
  // not `exact`, at most this long (an update file, whose signature is its
  // check), and downloaded whole each time.
  std::uint64_t size = 0;
  bool exact = true;
  TransferOptions options;
  ProgressReport progress;
};

// Tries, and tries again after a pause that grows (1, 2, 4 s), while the
// connection breaks; false, with `problem` naming the URL, when it can't be
// had. A body longer than the plan's size is cut off and its file removed,
// so a server can't fill the disk.
bool Download(const DownloadPlan& plan, std::string& problem);

// Whether `url` is an http: or https: URL, the only ones downloaded.
bool IsHttpUrl(const std::string& url);

}  // namespace povupdate_cli
