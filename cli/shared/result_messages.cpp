#include "shared/result_messages.h"

#include <algorithm>
#include <string>

#include "povupdate.h"
#include "shared/output.h"

namespace povupdate_cli {
namespace {

struct ResultCode {
  int code;
  const char* name;
  const char* meaning;
};

// The library's table of its codes, made from povupdate.h at configuration.
constexpr ResultCode kResultCodes[] = {
#include "result_codes.inc"
};

constexpr const char* kFreeMemory = "free some memory and try again";
constexpr const char* kReportIt = "a fault of the library: report it with the files involved";

// What the person running povupdate can do about a code, where povupdate
// knows something to do.
struct Advice {
  int code;
  const char* text;
};

constexpr Advice kAdvice[] = {
    {POVUPDATE_INDEX_UNREADABLE,
     "check that the update file is readable and run 'povupdate check' on it"},
    {POVUPDATE_NO_READ_BUFFER, kFreeMemory},
    {POVUPDATE_NO_VALUE_COPY, kFreeMemory},
    {POVUPDATE_BAD_SLOT, kReportIt},
    {POVUPDATE_BAD_ARGUMENT, "check the texts given"},
    {POVUPDATE_NO_NAME_COPY, kFreeMemory},
    {POVUPDATE_WRITE_FAILED,
     "check that the file's directory exists and is writable and that the disk has room"},
    {POVUPDATE_BAD_REGISTRY_PATH, kReportIt},
    {POVUPDATE_KEY_UNAVAILABLE,
     "check the rights to HKEY_LOCAL_MACHINE\\SOFTWARE\\DravuPovUpdate (on Windows run as "
     "administrator, on Linux check the directory POVUPDATE_REGISTRY_DIR names)"},
    {POVUPDATE_BAD_REGISTRY_ROOT, kReportIt},
    {POVUPDATE_VALUE_REFUSED,
     "check the rights to HKEY_LOCAL_MACHINE\\SOFTWARE\\DravuPovUpdate and the free disk space"},
    {POVUPDATE_NO_PROBE_BLOCK, kFreeMemory},
    {POVUPDATE_VALUE_UNREADABLE, "check that the install directory setting is a text value"},
    {POVUPDATE_INSTALL_KEY_FAILED,
     "check the rights to HKEY_LOCAL_MACHINE\\SOFTWARE (on Windows run as administrator)"},
    {POVUPDATE_PATH_TOO_LONG, "choose a shorter path"},
    {POVUPDATE_NO_WORK_BLOCK, kFreeMemory},
    {POVUPDATE_UNTRUSTED_UPDATE_FILE, "install nothing; povupdate verify-file says why"},
};

const ResultCode* FindCode(int code) {
  for (const ResultCode& row : kResultCodes) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

int HighestResultCode() {
  int highest = 0;
  for (const ResultCode& row : kResultCodes) highest = std::max(highest, row.code);
  return highest;
}

std::string DescribeResult(int code) {
  if (code == kNoTextResult) {
    return "the library handed back no text: memory ran out, the program's directory could not "
           "be found, or the install directory setting could neither be read nor stored; check "
           "free memory and the rights to the registry";
  }
  const ResultCode* row = FindCode(code);
  if (row == nullptr) {
    return "a result code this version of povupdate does not know; check that povupdate and the "
           "library come from the same release";
  }
  std::string text = row->meaning;
  for (const Advice& advice : kAdvice) {
    if (advice.code == code) text.append("; ").append(advice.text);
  }
  return text;
}

const char* ResultName(int code) {
  const ResultCode* row = FindCode(code);
  return row != nullptr ? row->name : nullptr;
}

int ReportFailure(const std::string& action, int code) {
  const ResultCode* row = FindCode(code);
  std::string message = action + " failed (result " + std::to_string(code);
  if (row != nullptr) message.append(", ").append(row->name);
  message.append("): ").append(DescribeResult(code));
  return ReportError(code, message, row != nullptr ? row->name : nullptr);
}

}  // namespace povupdate_cli
