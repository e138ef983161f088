#include "config/os_version.h"

#include <charconv>
#include <system_error>

namespace povupdate {

BOOL OsVersion::QueryVersion() {
  info_.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return GetVersionExA(&info_);
}

double OsVersion::GetVersionNumber() {
  if (QueryVersion() != 1) return 0.0;
  // The minor version is scaled by the single-precision 0.1 on purpose: the
  // file names depend on the exact value, and the error stays far below the
  // sixth fraction digit.
  return static_cast<double>(info_.dwMajorVersion) +
         static_cast<double>(info_.dwMinorVersion) * static_cast<double>(0.1f);
}

void OsVersion::FormatVersionNumber(double number, char* text) {
  // std::to_chars formats exactly as "%f" does in the "C" locale, whatever
  // locale the host has set.
  constexpr int kFractionDigits = 6;
  if (!(number > 0)) number = 0;
  const std::to_chars_result formatted = std::to_chars(text, text + kNumberTextSize - 1, number,
                                                       std::chars_format::fixed, kFractionDigits);
  *(formatted.ec == std::errc() ? formatted.ptr : text) = '\0';
}

}  // namespace povupdate
