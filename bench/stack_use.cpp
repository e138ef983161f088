// How deep into the calling thread's stack one export call reaches, the C
// library, the dynamic loader and the system's services included: the stack
// below this program's frame is painted, the call is made, and the paint it
// overwrote is counted. Each run measures one export at its first call in
// the process (lazy binding and first-time set-up happen then) and at a
// later call. `prepare` first writes the files the calls read.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_files.h"
#include "library_calls.h"
#include "povupdate.h"

#ifdef _WIN32
#define POVUPDATE_NOINLINE __declspec(noinline)
#else
#define POVUPDATE_NOINLINE __attribute__((noinline))
#endif

namespace povupdate::bench {
namespace {

constexpr std::size_t kDepth = std::size_t{64} * 1024;
constexpr unsigned char kPaint = 0xA5;

// The areas are written and read through functions the compiler can't see
// past, so it keeps them on the stack.
POVUPDATE_NOINLINE void PaintArea(volatile unsigned char* area) {
  for (std::size_t i = 0; i < kDepth; ++i) area[i] = kPaint;
}

// The stack grows down: the lowest bytes still painted were never reached.
POVUPDATE_NOINLINE std::size_t ReachedBytes(volatile unsigned char* area) {
  std::size_t untouched = 0;
  while (untouched < kDepth && area[untouched] == kPaint) ++untouched;
  return kDepth - untouched;
}

// Paint() and Used() are called from the same frame, so their areas lie at
// the same addresses: the ones the measured call ran over in between.
POVUPDATE_NOINLINE void Paint() {
  volatile unsigned char area[kDepth];
  PaintArea(area);
}

POVUPDATE_NOINLINE std::size_t Used() {
  volatile unsigned char area[kDepth];
  return ReachedBytes(area);
}

// Worked out before any call is measured.
std::string install_path;

struct Export {
  const char* name;
  bool (*call)();
};

const Export kExports[] = {
    {"walk",
     [] {
       int cursor = 1;
       return ReadNextEntry(cursor) > 0;
     }},
    {"local_get", [] { return ReadLocalItem("Pkg00001"); }},
    {"local_update", [] { return RecordLocalItem("Pkg00002", "2.4.10"); }},
    {"get_save_path", ReadSavePath},
    {"set_save_path", [] { return StoreSavePath(install_path.c_str()); }},
    {"file_name",
     [] {
       char name[32];
       return ReadFileName(name, sizeof name);
     }},
    {"delete",
     [] {
       DeleteTheUpdateFile();
       return true;
     }},
};

POVUPDATE_NOINLINE std::size_t Measure(const Export& call, bool& done) {
  Paint();
  done = call.call();
  return Used();
}

}  // namespace
}  // namespace povupdate::bench

int main(int argc, char** argv) {
  using namespace povupdate::bench;
  const char* name = argc == 2 ? argv[1] : "";
  install_path = ModuleDirectory() + "Install";
  if (std::strcmp(name, "prepare") == 0) {
    const std::string directory = ModuleDirectory();
    return WriteUpdateFile(UpdateFilePath(directory), 10) &&
                   WriteLocalFile(LocalFilePath(directory), 10)
               ? 0
               : 1;
  }
  for (const Export& call : kExports) {
    if (std::strcmp(name, call.name) != 0) continue;
    bool first_done = false;
    bool later_done = false;
    const std::size_t first = Measure(call, first_done);
    const std::size_t later = Measure(call, later_done);
    if (!first_done || !later_done) {
      std::fprintf(stderr, "povupdate_stack: %s failed\n", name);
      return 1;
    }
    std::printf("%s %zu %zu\n", name, first, later);
    return 0;
  }
  std::fprintf(stderr,
               "usage: povupdate_stack prepare|walk|local_get|local_update|"
               "get_save_path|set_save_path|file_name|delete\n");
  return 2;
}
