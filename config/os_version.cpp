#include "config/os_version.h"

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
  // Integer formatting only: "%f" would take the host's decimal separator,
  // and costs more than the system calls that name the file. A number
  // GetVersionNumber gives is below 2^33 and a whole multiple of 2^-27 (the
  // single-precision 0.1 is 13421773 x 2^-27), so its fraction is an exact
  // count of 2^-27 steps, rounded here to millionths as "%f" rounds: to the
  // nearest, ties to even.
  constexpr int kStepBits = 27;
  constexpr unsigned long long kHalfStep = 1ULL << (kStepBits - 1);
  constexpr unsigned long long kMillion = 1000000;
  constexpr int kFractionDigits = 6;
  if (!(number > 0)) number = 0;
  unsigned long long whole = static_cast<unsigned long long>(number);
  const auto steps = static_cast<unsigned long long>((number - static_cast<double>(whole)) *
                                                     static_cast<double>(1ULL << kStepBits));
  const unsigned long long scaled = steps * kMillion;
  unsigned long long fraction = scaled >> kStepBits;
  const unsigned long long rest = scaled & ((1ULL << kStepBits) - 1);
  if (rest > kHalfStep || (rest == kHalfStep && fraction % 2 != 0)) ++fraction;
  if (fraction == kMillion) {
    ++whole;
    fraction = 0;
  }

  char reversed[kNumberTextSize];
  int count = 0;
  for (int i = 0; i < kFractionDigits; ++i, fraction /= 10) {
    reversed[count++] = static_cast<char>('0' + fraction % 10);
  }
  reversed[count++] = '.';
  do {
    reversed[count++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  for (int i = 0; i < count; ++i) text[i] = reversed[count - 1 - i];
  text[count] = '\0';
}

}  // namespace povupdate
