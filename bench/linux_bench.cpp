// Speed of the exports on Linux, through the shipped libpovupdate.so, with
// Google Benchmark. After Google Benchmark's own table it prints one line per
// case, "row <case> <median> <min> <max>" in nanoseconds per call over the
// repetitions, for each update-list size the heap use of a full walk, and
// for each file shape the most heap a call takes ("shape <name> <file bytes>
// <walk call> <write> <read> <kept after>").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bench_files.h"
#include "counting_malloc.h"
#include "library_calls.h"

namespace {

using namespace povupdate::bench;

constexpr int kRepetitions = 9;
constexpr double kMinSecondsPerRepetition = 0.1;
// The profile cache trusts a parse only once the file's ctime, which no
// program can set back, lies a margin (at most 3 s) before the read.
constexpr unsigned kSettleSeconds = 4;

// A private directory for the module directories and the registry store,
// removed at the end.
class Workspace {
 public:
  Workspace() {
    std::string pattern = (std::filesystem::temp_directory_path() / "povupdate-bench-XXXXXX");
    if (mkdtemp(pattern.data()) != nullptr) root_ = pattern + "/";
  }
  ~Workspace() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  bool ok() const { return !root_.empty(); }
  // Creates root/name/ and returns it; writing to it fails when it couldn't
  // be created.
  std::string Directory(const std::string& name) const {
    std::error_code ignored;
    std::filesystem::create_directories(root_ + name, ignored);
    return root_ + name + "/";
  }

 private:
  std::string root_;
};

void UseModuleDirectory(const std::string& directory) {
  setenv("POVUPDATE_MODULE_DIR", directory.c_str(), 1);
}

// Every benchmark reports how many calls one iteration makes.
void CountCalls(benchmark::State& state, int calls) { state.counters["calls"] = calls; }

void Walk(benchmark::State& state, const std::string& directory) {
  UseModuleDirectory(directory);
  int calls = 0;
  for (auto _ : state) {
    calls = WalkUpdateList();
    if (calls < 0) {
      state.SkipWithError("walk failed");
      break;
    }
  }
  CountCalls(state, calls);
}

// Each round puts a new copy of the file in place by rename first, as a
// download does; the copy counts in the round's time.
void FreshWalk(benchmark::State& state, const std::string& directory, const std::string& text) {
  UseModuleDirectory(directory);
  int calls = 0;
  for (auto _ : state) {
    calls = ReplaceByRename(UpdateFilePath(directory), text) ? WalkUpdateList() : -1;
    if (calls < 0) {
      state.SkipWithError("fresh walk failed");
      break;
    }
  }
  CountCalls(state, calls);
}

void LocalGet(benchmark::State& state, const std::string& directory,
              const std::vector<std::string>& names) {
  UseModuleDirectory(directory);
  std::size_t item = 0;
  for (auto _ : state) {
    if (!ReadLocalItem(names[item].c_str())) {
      state.SkipWithError("read failed");
      break;
    }
    item = (item + 1) % names.size();
  }
  CountCalls(state, 1);
}

// Two versions in turn, counted across the runs of a case, so that every
// call changes the file.
void LocalUpdate(benchmark::State& state, const std::string& directory,
                 const std::vector<std::string>& names) {
  static std::map<std::string, std::size_t> calls_made;
  std::size_t& call = calls_made[directory];
  UseModuleDirectory(directory);
  for (auto _ : state) {
    const char* version = (call / names.size()) % 2 == 0 ? "1.0.1" : "1.0.2";
    if (!RecordLocalItem(names[call % names.size()].c_str(), version)) {
      state.SkipWithError("write failed");
      break;
    }
    ++call;
  }
  CountCalls(state, 1);
}

template <typename Call>
void SingleCall(benchmark::State& state, const std::string& directory, Call call) {
  UseModuleDirectory(directory);
  for (auto _ : state) {
    if (!call()) {
      state.SkipWithError("call failed");
      break;
    }
  }
  CountCalls(state, 1);
}

double Min(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

double Max(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}

template <typename... Args>
void Register(const std::string& name, Args&&... args) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
      ->Repetitions(kRepetitions)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", Min)
      ->ComputeStatistics("max", Max)
      ->MinTime(kMinSecondsPerRepetition)
      ->Unit(benchmark::kNanosecond);
}

// Google Benchmark's table, then the rows, per call.
class RowReporter : public benchmark::ConsoleReporter {
 public:
  // Without colours: the output is kept in a file.
  RowReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto calls = run.counters.find("calls");
      if (run.run_type != Run::RT_Aggregate || calls == run.counters.end()) continue;
      const std::string& name = run.run_name.function_name;
      if (stats_.count(name) == 0) order_.push_back(name);
      stats_[name][run.aggregate_name] = run.GetAdjustedRealTime() / calls->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const std::string& name : order_) {
      std::map<std::string, double>& stat = stats_[name];
      std::printf("row\t%s\t%.1f\t%.1f\t%.1f\n", name.c_str(), stat["median"], stat["min"],
                  stat["max"]);
    }
  }

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::map<std::string, double>> stats_;
};

// The heap use of one full walk, call by call: the bytes allocated beyond
// the texts handed out, for the first call (which fills the profile cache)
// and at most for any later one; and the mean over the walk.
bool ReportWalkMemory(const std::string& directory, int entries) {
  UseModuleDirectory(directory);
  long handed_out = 0, first_extra = 0, later_extra = 0, total_extra = 0, later_allocations = 0;
  int calls = 0;
  for (int cursor = 1; cursor != -1; ++calls) {
    StartCountingAllocations();
    const long bytes = ReadNextEntry(cursor);
    const AllocationCount count = StopCountingAllocations();
    if (bytes < 0 || calls > entries) return false;
    const long extra = count.bytes - bytes;
    handed_out += bytes;
    total_extra += extra;
    if (calls == 0) {
      first_extra = extra;
    } else {
      later_extra = std::max(later_extra, extra);
      later_allocations = std::max(later_allocations, count.calls);
    }
  }
  if (calls != entries + 1) return false;
  std::printf("memory\twalk/%d\t%d\t%ld\t%ld\t%ld\t%ld\t%ld\n", entries, calls, handed_out / calls,
              first_extra, later_extra, later_allocations, total_extra / calls);
  return true;
}

// Files of about 50 MB in the shapes that cost an index most: lines of
// '=' alone, millions of distinct sections, millions of distinct keys, and
// one value of 50 MB.
constexpr std::size_t kShapeBytes = std::size_t{50} << 20;

std::string ShapeText(const std::string& shape) {
  std::string text = "[SOFTWARE]\r\n";
  text.reserve(kShapeBytes + 64);
  if (shape == "value") return text.append("1=").append(kShapeBytes, 'v').append("\r\n");
  if (shape == "sections") text.append("1=1\r\n");
  for (int n = 1; text.size() < kShapeBytes; ++n) {
    if (shape == "equals") {
      text.append("=\r\n");
    } else if (shape == "sections") {
      text.append("[").append(std::to_string(n)).append("]\r\n");
    } else {
      text.append(std::to_string(n)).append("=k\r\n");
    }
  }
  return text;
}

template <typename Call>
AllocationCount Counted(Call call) {
  StartCountingAllocations();
  const bool done = call();
  const AllocationCount count = StopCountingAllocations();
  return done ? count : AllocationCount{-1, -1, -1, -1};
}

// The most heap one call of each kind takes beyond what the process held
// before it, on a file the process holds nothing of yet: the first call of
// a walk of the update file, a write of the local configuration file and a
// read of it after the write; and what the process keeps afterwards.
bool ReportShapeMemory(const Workspace& workspace, const std::string& shape) {
  const std::string directory = workspace.Directory("shape-" + shape);
  std::size_t size = 0;
  {
    const std::string text = ShapeText(shape);
    size = text.size();
    std::ofstream(UpdateFilePath(directory), std::ios::binary) << text;
    std::ofstream(LocalFilePath(directory), std::ios::binary) << text;
  }
  UseModuleDirectory(directory);
  const AllocationCount walk = Counted([] {
    int cursor = 1;
    return ReadNextEntry(cursor) >= 0;
  });
  const AllocationCount write = Counted([] { return RecordLocalItem("SOFTWARE", "9.9"); });
  const AllocationCount read = Counted([] { return ReadLocalItem("SOFTWARE"); });
  const long kept = walk.held + write.held + read.held;
  std::remove(UpdateFilePath(directory).c_str());
  std::remove(LocalFilePath(directory).c_str());
  if (walk.calls < 0 || write.calls < 0 || read.calls < 0) return false;
  std::printf("shape\t%s\t%zu\t%ld\t%ld\t%ld\t%ld\n", shape.c_str(), size, walk.peak, write.peak,
              read.peak, kept);
  return true;
}

// povupdate, built beside this program, makes a key and signs with it, as a
// publisher does.
std::string Povupdate() {
  std::error_code error;
  return (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "povupdate")
      .string();
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null").c_str()) == 0; }

// A signed update file of `entries` in `directory`, with the key file that
// makes the library verify it.
bool WriteSignedUpdateFile(const std::string& keys, const std::string& directory, int entries) {
  const std::string file = UpdateFilePath(directory);
  std::error_code error;
  return WriteUpdateFile(file, entries) &&
         Run(Povupdate() + " sign '" + file + "' --key '" + keys + "publisher.key'") &&
         std::filesystem::copy_file(keys + "PovUpdate.pub", directory + "PovUpdate.pub", error);
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Prepare(const Workspace& workspace, std::map<std::string, std::string>& directories) {
  bool written = true;
  const std::string keys = workspace.Directory("keys");
  written = Run(Povupdate() + " key new '" + keys + "publisher.key' '" + keys + "PovUpdate.pub'");
  for (int entries : kFreshSizes) {
    for (const char* kind : {"signed_walk", "signed_fresh_walk"}) {
      const std::string name = std::string(kind) + "/" + std::to_string(entries);
      const std::string directory = workspace.Directory(kind + ("-" + std::to_string(entries)));
      written = written && WriteSignedUpdateFile(keys, directory, entries);
      directories[name] = directory;
    }
  }
  for (int entries : kWalkSizes) {
    const std::string directory = workspace.Directory("walk-" + std::to_string(entries));
    written = written && WriteUpdateFile(UpdateFilePath(directory), entries) &&
              BackDate(UpdateFilePath(directory));
    directories["walk/" + std::to_string(entries)] = directory;
  }
  for (int entries : kFreshSizes) {
    const std::string directory = workspace.Directory("fresh-" + std::to_string(entries));
    written = written && WriteUpdateFile(UpdateFilePath(directory), entries);
    directories["fresh_walk/" + std::to_string(entries)] = directory;
  }
  for (int items : kLocalSizes) {
    for (const char* call : {"local_get", "local_update"}) {
      const std::string name = std::string(call) + "/" + std::to_string(items);
      const std::string directory = workspace.Directory(call + ("-" + std::to_string(items)));
      written = written && WriteLocalFile(LocalFilePath(directory), items) &&
                BackDate(LocalFilePath(directory));
      directories[name] = directory;
    }
  }
  directories["host"] = workspace.Directory("host");
  setenv("POVUPDATE_REGISTRY_DIR", workspace.Directory("registry").c_str(), 1);
  setenv("POVUPDATE_OS_VERSION", "6.1", 1);
  return written;
}

bool NamesUpdateFile() {
  char name[32];
  return ReadFileName(name, sizeof name) && std::string(name) == "Update_6.1.ini";
}

void RegisterCases(const std::map<std::string, std::string>& directories,
                   const std::string& install_path) {
  for (int entries : kWalkSizes) {
    const std::string name = "walk/" + std::to_string(entries);
    Register(name, Walk, directories.at(name));
  }
  for (int entries : kFreshSizes) {
    const std::string name = "fresh_walk/" + std::to_string(entries);
    Register(name, FreshWalk, directories.at(name), UpdateFileText(entries));
  }
  // With PovUpdate.pub beside the file: each settled call checks the key
  // file and the verdict kept for the parse; each fresh one verifies anew.
  for (int entries : kFreshSizes) {
    const std::string size = "/" + std::to_string(entries);
    Register("signed_walk" + size, Walk, directories.at("signed_walk" + size));
    const std::string fresh = directories.at("signed_fresh_walk" + size);
    Register("signed_fresh_walk" + size, FreshWalk, fresh, ReadWhole(UpdateFilePath(fresh)));
  }
  for (int items : kLocalSizes) {
    const std::vector<std::string> names = ItemNames(items);
    const std::string size = "/" + std::to_string(items);
    Register("local_get" + size, LocalGet, directories.at("local_get" + size), names);
    Register("local_update" + size, LocalUpdate, directories.at("local_update" + size), names);
  }
  const std::string& host = directories.at("host");
  Register("get_save_path", SingleCall<bool (*)()>, host, ReadSavePath);
  Register("set_save_path", [host, install_path](benchmark::State& state) {
    SingleCall(state, host, [&] { return StoreSavePath(install_path.c_str()); });
  });
  Register("file_name", [host](benchmark::State& state) {
    char name[32];
    SingleCall(state, host, [&] { return ReadFileName(name, sizeof name); });
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const Workspace workspace;
  std::map<std::string, std::string> directories;
  if (!workspace.ok() || !Prepare(workspace, directories)) {
    std::fprintf(stderr, "povupdate_bench: can't write the benchmark's files\n");
    return 1;
  }
  for (const char* shape : {"equals", "sections", "keys", "value"}) {
    if (!ReportShapeMemory(workspace, shape)) {
      std::fprintf(stderr, "povupdate_bench: a call on the %s file failed\n", shape);
      return 1;
    }
  }
  sleep(kSettleSeconds);
  for (int entries : kWalkSizes) {
    if (!ReportWalkMemory(directories.at("walk/" + std::to_string(entries)), entries)) {
      std::fprintf(stderr, "povupdate_bench: a walk of %d entries failed or miscounted\n", entries);
      return 1;
    }
  }
  if (!NamesUpdateFile()) {
    std::fprintf(stderr, "povupdate_bench: the library doesn't name the update file for 6.1\n");
    return 1;
  }
  RegisterCases(directories, directories.at("host") + "Install");
  RowReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
