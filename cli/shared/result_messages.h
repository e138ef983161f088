// What each result code means to the person running povupdate.
#pragma once

#include <string>

namespace povupdate_cli {

// povupdate's own exit status when the library handed back no text at all
// (GetTheFileName, GetSaveFilePath): no library code applies then.
constexpr int kNoTextResult = 99;

// The highest of the library's result codes.
int HighestResultCode();

// The code's meaning, as the library's table gives it, and what to check.
std::string DescribeResult(int code);

// The code's name, "POVUPDATE_..."; nullptr for a code the table lacks.
const char* ResultName(int code);

// Reports "<action> failed (result <code>, <name>): <meaning>" as
// ReportError does, with the code's name, and returns `code`, the exit
// status.
int ReportFailure(const std::string& action, int code);

}  // namespace povupdate_cli
