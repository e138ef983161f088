// An installer's parameters as Windows reads a command line, so that one
// update file means the same arguments on both systems.
#pragma once

#include <string>
#include <vector>

namespace povupdate_cli {

// The arguments of `parameters` by the rules of the Microsoft C runtime:
// blanks and tabs separate arguments outside quotes; a quote opens or
// closes a quoted part, and "" inside one stands for a quote; 2n
// backslashes before a quote stand for n backslashes, 2n+1 for n and a
// quote; any other backslash is itself.
std::vector<std::string> SplitCommandLine(const std::string& parameters);

}  // namespace povupdate_cli
