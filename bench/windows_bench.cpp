// Speed of the exports on Windows (run under Wine), through the shipped
// PovUpdate.dll beside this program, timed with QueryPerformanceCounter.
// Each case is timed with the library and with its floor (windows_floor.h),
// alternating sample by sample, and prints "row <case> <median> <min> <max>"
// and "floor <case> <median> <min> <max>", nanoseconds per call over the
// samples, and "ratio <case> <median> <min> <max>" of each library sample
// to the floor sample taken after it. The files go to this program's own
// directory, where the library looks for them: run a copy of it and the DLL
// in a directory of their own. An argument runs only the cases whose names
// contain it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_files.h"
#include "library_calls.h"
#include "windows_floor.h"

namespace {

using namespace povupdate::bench;

// One unit of work: the number of calls it made, or -1 on failure.
using Unit = std::function<int()>;

struct Case {
  std::string name;
  Unit library;
  Unit floor;
};

struct Stats {
  double median = 0, min = 0, max = 0;
};

constexpr double kSampleSeconds = 0.05;
constexpr int kSamples = 9;
// Fewer samples of slow units (a walk of thousands of entries) keep a case
// within minutes.
constexpr double kSlowUnitSeconds = 2.0;
constexpr int kSlowSamples = 5;
constexpr double kVerySlowUnitSeconds = 20.0;
constexpr int kVerySlowSamples = 3;

// The cases to run: those whose names contain this.
std::string selection;

bool Selected(const std::string& name) { return name.find(selection) != std::string::npos; }

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `unit` `repeat` times: nanoseconds per call, or -1 on failure.
double Sample(const Unit& unit, int repeat) {
  long calls = 0;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < repeat; ++i) {
    const int made = unit();
    if (made < 0) return -1;
    calls += made;
  }
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * 1e9 / static_cast<double>(calls);
}

// How often to run `unit` for one sample to last kSampleSeconds; 0 on failure.
int Calibrate(const Unit& unit, double& unit_seconds) {
  for (int repeat = 1;; repeat *= 2) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < repeat; ++i) {
      if (unit() < 0) return 0;
    }
    QueryPerformanceCounter(&end);
    const double seconds = Seconds(start, end);
    if (seconds >= kSampleSeconds) {
      unit_seconds = seconds / repeat;
      return repeat;
    }
  }
}

Stats Summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples.front(), samples.back()};
}

// Times to a tenth of a nanosecond, ratios to a thousandth.
void PrintRow(const char* kind, const std::string& name, const Stats& stats, int digits = 1) {
  std::printf("%s\t%s\t%.*f\t%.*f\t%.*f\n", kind, name.c_str(), digits, stats.median, digits,
              stats.min, digits, stats.max);
  std::fflush(stdout);
}

bool Run(const Case& measured) {
  if (!Selected(measured.name)) return true;
  double unit_seconds = 0;
  const int repeat = Calibrate(measured.library, unit_seconds);
  if (repeat == 0 || measured.floor() < 0) return false;
  const int count = unit_seconds > kVerySlowUnitSeconds ? kVerySlowSamples
                    : unit_seconds > kSlowUnitSeconds   ? kSlowSamples
                                                        : kSamples;
  std::vector<double> library_samples, floor_samples;
  for (int i = 0; i < count; ++i) {
    library_samples.push_back(Sample(measured.library, repeat));
    floor_samples.push_back(Sample(measured.floor, repeat));
    if (library_samples.back() < 0 || floor_samples.back() < 0) return false;
  }
  // Each library sample and the floor sample after it ran under the same
  // load: their ratio holds on a noisy machine when the medians' doesn't.
  std::vector<double> ratios;
  for (int i = 0; i < count; ++i) ratios.push_back(library_samples[i] / floor_samples[i]);
  PrintRow("row", measured.name, Summarise(library_samples));
  PrintRow("floor", measured.name, Summarise(floor_samples));
  PrintRow("ratio", measured.name, Summarise(ratios), 3);
  return true;
}

int Single(bool done) { return done ? 1 : -1; }

bool RunWalks(const std::string& directory) {
  const std::string file = UpdateFilePath(directory);
  for (int entries : kWalkSizes) {
    if (!Selected("walk/" + std::to_string(entries))) continue;
    if (!WriteUpdateFile(file, entries) || !BackDate(file) || WalkUpdateList() != entries + 1) {
      std::fprintf(stderr, "povupdate_bench: a walk of %d entries failed or miscounted\n", entries);
      return false;
    }
    const Case walk{"walk/" + std::to_string(entries), WalkUpdateList,
                    [&] { return floor::WalkUpdateList(file.c_str()); }};
    if (!Run(walk)) return false;
  }
  return true;
}

// Each round puts a new copy of the update file in place by rename first,
// for the library and the floor alike; the copy counts in the round's time.
bool RunFreshWalks(const std::string& directory) {
  const std::string file = UpdateFilePath(directory);
  for (int entries : kFreshSizes) {
    const std::string name = "fresh_walk/" + std::to_string(entries);
    if (!Selected(name)) continue;
    const std::string text = UpdateFileText(entries);
    const auto fresh = [&](const std::function<int()>& walk) {
      return ReplaceByRename(file, text) ? walk() : -1;
    };
    const Case walk{name, [&] { return fresh(WalkUpdateList); },
                    [&] { return fresh([&] { return floor::WalkUpdateList(file.c_str()); }); }};
    if (!Run(walk)) return false;
  }
  return true;
}

bool RunLocalCalls(const std::string& directory) {
  const std::string file = LocalFilePath(directory);
  for (int items : kLocalSizes) {
    if (!WriteLocalFile(file, items) || !BackDate(file)) return false;
    const std::vector<std::string> names = ItemNames(items);
    // One count for both, so that every write changes the file.
    std::size_t next = 0;
    const Case get{"local_get/" + std::to_string(items),
                   [&] { return Single(ReadLocalItem(names[next++ % names.size()].c_str())); },
                   [&] {
                     floor::ReadLocalItem(names[next++ % names.size()].c_str(), file.c_str());
                     return 1;
                   }};
    // Two versions in turn.
    const auto version = [&](std::size_t call) {
      return (call / names.size()) % 2 == 0 ? "1.0.1" : "1.0.2";
    };
    const Case update{
        "local_update/" + std::to_string(items),
        [&] {
          const std::size_t call = next++;
          return Single(RecordLocalItem(names[call % names.size()].c_str(), version(call)));
        },
        [&] {
          const std::size_t call = next++;
          return Single(floor::RecordLocalItem(names[call % names.size()].c_str(), version(call),
                                               file.c_str()));
        }};
    if (!Run(get) || !Run(update)) return false;
  }
  return true;
}

bool RunSettingCalls(const std::string& directory) {
  const std::string install = directory + "Install";
  const Case cases[] = {
      {"get_save_path", [] { return Single(ReadSavePath()); },
       [] { return Single(floor::ReadSavePath()); }},
      {"set_save_path", [&] { return Single(StoreSavePath(install.c_str())); },
       [&] { return Single(floor::StoreSavePath(install.c_str())); }},
      {"file_name",
       [] {
         char name[32];
         return Single(ReadFileName(name, sizeof name));
       },
       [] {
         char name[32];
         return Single(floor::ReadFileName(name, sizeof name));
       }},
  };
  for (const Case& setting : cases) {
    if (!Run(setting)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) selection = argv[1];
  char name[32];
  if (!ReadFileName(name, sizeof name) || std::string(name) != "Update_6.1.ini") {
    std::fprintf(stderr, "povupdate_bench: the system must report version 6.1 (Windows 7)\n");
    return 1;
  }
  const std::string directory = ModuleDirectory();
  if (!RunWalks(directory) || !RunFreshWalks(directory) || !RunLocalCalls(directory) ||
      !RunSettingCalls(directory)) {
    std::fprintf(stderr, "povupdate_bench: a case failed\n");
    return 1;
  }
  return 0;
}
