// Which names of an archive's members may be extracted: only those that
// stay beneath the directory they are extracted into, on either system.
#pragma once

#include <string>
#include <vector>

namespace povupdate_cli {

// The components of member name `name` ('/' separates them; empty and "."
// components are dropped), or false, with `problem`, for a name that could
// land elsewhere or names no file: one that is empty, absolute, holds ".."
// as a component, a '\\' (a separator to Windows), a ':' (a drive letter or
// a stream) or a control character, or a component Windows reserves for a
// device (CON, NUL, COM1, ...) or can't keep as given (a trailing dot or
// blank).
bool SplitArchiveName(const std::string& name, std::vector<std::string>& components,
                      std::string& problem);

}  // namespace povupdate_cli
