#include "result_messages.h"

#include <string>

#include "output.h"
#include "povupdate.h"

namespace povupdate_cli {
namespace {

struct ResultMessage {
  int code;
  const char* text;
};

constexpr ResultMessage kMessages[] = {
    {POVUPDATE_OK, "The call succeeded."},
    {POVUPDATE_BAD_CURSOR,
     "The update list was asked for an entry below 1; walks of the list start at entry 1."},
    {POVUPDATE_INDEX_UNREADABLE,
     "The [SOFTWARE] index of the update file could not be read; check that the file is "
     "readable and run 'povupdate check' on it."},
    {POVUPDATE_NO_READ_BUFFER,
     "The library ran out of memory for reading a value; free some memory and try again."},
    {POVUPDATE_NO_VALUE_COPY,
     "The library ran out of memory copying a value out of a file; free some memory and try "
     "again."},
    {POVUPDATE_BAD_SLOT,
     "The library addressed a record field that does not exist, an internal fault; report it "
     "together with the files involved."},
    {POVUPDATE_BAD_ARGUMENT,
     "A name or version was missing, held a line break, or could not be copied for lack of "
     "memory; check the texts given."},
    {POVUPDATE_NO_NAME_COPY,
     "The library ran out of memory copying a section name; free some memory and try again."},
    {POVUPDATE_WRITE_FAILED,
     "The local configuration file could not be written; check that its directory exists and "
     "is writable and that the disk has room."},
    {POVUPDATE_BAD_REGISTRY_PATH,
     "The library used a registry path without a root, an internal fault; report it."},
    {POVUPDATE_KEY_UNAVAILABLE,
     "The registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\DravuPovUpdate could not be opened or "
     "created; check the rights to it (on Windows run as administrator, on Linux check the "
     "directory POVUPDATE_REGISTRY_DIR names)."},
    {POVUPDATE_BAD_REGISTRY_ROOT,
     "The library tried to create a registry key without a root, an internal fault; report it."},
    {POVUPDATE_VALUE_REFUSED,
     "The registry refused to store the value; check the rights to the key "
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\DravuPovUpdate and the free disk space."},
    {POVUPDATE_NO_PROBE_BLOCK,
     "The library ran out of memory reading a registry value; free some memory and try again."},
    {POVUPDATE_VALUE_UNREADABLE,
     "A registry value could not be read; check that the install directory setting is a text "
     "value and readable."},
    {POVUPDATE_NULL_PATH, "No install directory was given; name one."},
    {POVUPDATE_INSTALL_KEY_FAILED,
     "The registry key for the install directory could not be created; check the rights to "
     "HKEY_LOCAL_MACHINE\\SOFTWARE (on Windows run as administrator)."},
    {POVUPDATE_PATH_TOO_LONG,
     "The install directory, with \"Install\" appended, would pass 259 characters; choose a "
     "shorter path."},
    {POVUPDATE_NO_WORK_BLOCK,
     "The library ran out of memory for a working block; free some memory and try again."},
    {kNoTextResult,
     "The library handed back no text: memory ran out, the program's directory could not be "
     "found, or the install directory setting could neither be read nor stored; check free "
     "memory and the rights to the registry."},
};

}  // namespace

const char* DescribeResult(int code) {
  for (const auto& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return "The library returned a result code this version of povupdate does not know; check "
         "that povupdate and the library come from the same release.";
}

int ReportFailure(const std::string& action, int code) {
  return ReportError(
      code, action + " failed (result " + std::to_string(code) + "): " + DescribeResult(code));
}

}  // namespace povupdate_cli
