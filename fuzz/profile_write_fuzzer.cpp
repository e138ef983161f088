// libFuzzer target: WritePrivateProfileStringA (profile_write_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckProfileWrite(data, size, PrivateDirectory()));
  return 0;
}
