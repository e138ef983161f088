// Checks an update file for what keeps hosts from reading it the way its
// publisher meant. Reads the text itself, with the profile services' rules.
#pragma once

#include <string>
#include <vector>

#include "profile_text.h"

namespace povupdate_cli {

// `drive_root` is what a leading "1" of an InstallPath becomes. The findings
// come sorted by line.
std::vector<Finding> CheckUpdateFile(const std::string& bytes, const std::string& drive_root);

}  // namespace povupdate_cli
