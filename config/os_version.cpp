#include "config/os_version.h"

#include <cmath>
#include <cstdio>

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
  // Integer formatting only: "%f" would take the host's decimal separator.
  const long long micros = std::llround(number * 1e6);
  static_cast<void>(
      std::snprintf(text, kNumberTextSize, "%lld.%06lld", micros / 1000000, micros % 1000000));
}

}  // namespace povupdate
