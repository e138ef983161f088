// The running system's version, as the number that names the configuration
// files.
#pragma once

#include "platform/win32.h"

namespace povupdate {

class OsVersion {
 public:
  virtual ~OsVersion() = default;

  // major + minor x 0.1, or 0.0 when the query fails; asks the system afresh.
  double GetVersionNumber();

  // The number as the library formats it, "%f"-style with six fraction
  // digits ("6.100000"), but always with "." whatever the host's locale.
  // `number` must be one GetVersionNumber gives (below 0 counts as 0).
  // `text` must hold kNumberTextSize bytes.
  static constexpr int kNumberTextSize = 32;
  static void FormatVersionNumber(double number, char* text);

 private:
  // Returns the system call's result.
  BOOL QueryVersion();

  OSVERSIONINFOA info_{};
};

}  // namespace povupdate
