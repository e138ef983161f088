// libFuzzer target: the registry store's file (registry_file_check.cpp).
#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  povupdate::fuzz::Report(povupdate::fuzz::CheckRegistryFile(data, size));
  return 0;
}
