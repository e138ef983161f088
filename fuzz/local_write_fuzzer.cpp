// libFuzzer target: recording versions through the exports
// (local_write_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace povupdate::fuzz;
  Report(CheckLocalWrite(data, size, PrivateDirectory()));
  return 0;
}
