// libFuzzer target: GetPrivateProfileStringA (profile_read_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckProfileRead(data, size, PrivateDirectory()));
  return 0;
}
