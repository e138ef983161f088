// What each result code means to the person running povupdate.
#pragma once

#include <string>

namespace povupdate_cli {

// povupdate's own exit status when the library handed back no text at all
// (GetTheFileName, GetSaveFilePath): no library code applies then.
constexpr int kNoTextResult = 99;

// One sentence: what went wrong and what to check.
const char* DescribeResult(int code);

// Reports "<action> failed (result <code>): <sentence>" as ReportError does
// and returns `code`, the exit status.
int ReportFailure(const std::string& action, int code);

}  // namespace povupdate_cli
