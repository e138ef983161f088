# Turns the rows of the two benchmark programs into bench/results/results.md
# (on standard output) and the walk's figures into the file `plot`, for
# gnuplot. Usage: awk -v date=... -v machine=... -v wine=... -v arch=...
#   -v load=... -v plot=FILE -f report.awk LINUX_ROWS WINDOWS_ROWS
# Rows: "row|floor <case> <median> <min> <max>" in ns per call; "ratio <case>
# <median> <min> <max>" of paired library and floor samples; "memory
# walk/<n> <calls> <handed-out bytes per call> <first call's other bytes>
# <most other bytes of a later call> <most allocations of a later call>
# <mean other bytes per call>"; "shape <name> <file bytes> <walk call's peak>
# <write's peak> <read's peak> <bytes kept after>".
BEGIN { FS = "\t" }
# Colour codes of a terminal reporter don't belong to the rows.
{ gsub(/\033\[[0-9;]*m/, "") }
FILENAME == ARGV[1] && $1 == "row" { keep("linux") }
FILENAME == ARGV[1] && $1 == "memory" {
  memory[$2] = 1
  for (i = 3; i <= 8; ++i) memory[$2, i] = $i
}
FILENAME == ARGV[1] && $1 == "shape" {
  shape_order[++shapes] = $2
  for (i = 3; i <= 7; ++i) shape[$2, i] = $i
}
FILENAME == ARGV[2] && $1 == "row" { keep("windows") }
FILENAME == ARGV[2] && $1 == "floor" { keep("floor") }
FILENAME == ARGV[2] && $1 == "ratio" {
  paired[$2] = $3; paired_low[$2] = $4; paired_high[$2] = $5
}

function keep(build) {
  if (!(($2) in seen)) { seen[$2] = 1; order[++cases] = $2 }
  median[build, $2] = $3; low[build, $2] = $4; high[build, $2] = $5; has[build, $2] = 1
}

# A time in the unit that suits its median, with the spread in the same unit.
function unit_of(ns) { return ns >= 1e6 ? 1e6 : ns >= 1e3 ? 1e3 : 1 }
function unit_name(scale) { return scale == 1e6 ? "ms" : scale == 1e3 ? "µs" : "ns" }
function number(value) {
  return sprintf(value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value)
}
function figure(build, name,    scale) {
  if (!has[build, name]) return "–"
  scale = unit_of(median[build, name])
  return number(median[build, name] / scale) " " unit_name(scale) " (" \
         number(low[build, name] / scale) "–" number(high[build, name] / scale) ")"
}
function ratio(a, b, name) {
  if (!has[a, name] || !has[b, name]) return "–"
  return sprintf("%.2f", median[a, name] / median[b, name])
}
# The library's cost over the floor, from samples taken side by side.
function over_floor(name) {
  if (!(name in paired)) return "–"
  return sprintf("%.2f (%.2f–%.2f)", paired[name], paired_low[name], paired_high[name])
}
function verdict(ok) { return ok ? "met" : "**missed**" }
function megabytes(bytes) { return sprintf("%.1f MB", bytes / 1e6) }
# The heap a call took as a multiple of the file's size.
function times_file(bytes, size) { return sprintf("%.2f×", bytes / size) }

END {
  printf "# PovUpdate benchmarks\n\n"
  printf "- Date: %s\n- Machine: %s\n- Wine: %s\n- Windows build: %s\n- Load average: %s\n\n",
         date, machine, wine, arch, load
  printf "Every figure is the time per call: the median of repeated runs, with the fastest and "
  printf "slowest run in brackets. Linux runs the native library with Google Benchmark; Windows "
  printf "runs PovUpdate.dll under Wine; the floor is the same sequence of system calls made "
  printf "under Wine without the library. Both programs and the wineserver ran on CPU 0. "
  printf "Windows/raw is the median, fastest and slowest of the ratios of each library run to "
  printf "the floor run made right after it.\n\n"
  printf "| case | Linux | Windows (Wine) | raw-syscall floor | Windows/Linux | Windows/raw |\n"
  printf "| --- | ---: | ---: | ---: | ---: | ---: |\n"
  for (i = 1; i <= cases; ++i) {
    name = order[i]
    printf "| %s | %s | %s | %s | %s | %s |\n", name, figure("linux", name),
           figure("windows", name), figure("floor", name), ratio("windows", "linux", name),
           over_floor(name)
  }
  # Each walk size once: entries, then median, min and max in µs of each build.
  for (i = 1; i <= cases; ++i) {
    name = order[i]
    if (name !~ /^walk\//) continue
    entries = substr(name, 6)
    line = entries
    for (b = 1; b <= 3; ++b) {
      build = b == 1 ? "linux" : b == 2 ? "windows" : "floor"
      if (has[build, name]) {
        line = line sprintf(" %.4f %.4f %.4f", median[build, name] / 1e3, low[build, name] / 1e3,
                            high[build, name] / 1e3)
      } else {
        line = line " NaN NaN NaN"
      }
    }
    print line > plot
  }

  printf "\n## Heap use of a full walk (Linux)\n\n"
  printf "Bytes allocated per call beyond the eight texts handed out. The first call parses the "
  printf "file into the process's profile cache, which keeps it.\n\n"
  printf "| entries | calls | handed out per call | first call, other | later calls, other (most) | "
  printf "allocations per later call (most) | other per call over the walk |\n"
  printf "| ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n"
  for (name in memory) {
    if (index(name, SUBSEP)) continue
    sizes[++sized] = substr(name, 6) + 0
  }
  for (i = 1; i <= sized; ++i) for (j = i + 1; j <= sized; ++j) {
    if (sizes[j] < sizes[i]) { t = sizes[i]; sizes[i] = sizes[j]; sizes[j] = t }
  }
  for (i = 1; i <= sized; ++i) {
    name = "walk/" sizes[i]
    printf "| %d | %d | %d B | %d B | %d B | %d | %d B |\n", sizes[i], memory[name, 3],
           memory[name, 4], memory[name, 5], memory[name, 6], memory[name, 7], memory[name, 8]
  }

  printf "\n## Heap use of one call by file shape (Linux)\n\n"
  printf "Files of about 50 MB; the most heap one call took beyond what the process held "
  printf "before it, as a multiple of the file's size, on a file the process held nothing of: "
  printf "the first call of a walk of the update file, a write of the local configuration file, "
  printf "then a read of it; and what the process keeps afterwards (the profile cache holds at "
  printf "most 256 MiB).\n\n"
  printf "| shape | file | walk call | write | read after the write | kept after |\n"
  printf "| --- | ---: | ---: | ---: | ---: | ---: |\n"
  for (i = 1; i <= shapes; ++i) {
    name = shape_order[i]
    size = shape[name, 3]
    printf "| %s | %s | %s (%s) | %s (%s) | %s (%s) | %s |\n", name, megabytes(size),
           megabytes(shape[name, 4]), times_file(shape[name, 4], size),
           megabytes(shape[name, 5]), times_file(shape[name, 5], size),
           megabytes(shape[name, 6]), times_file(shape[name, 6], size), megabytes(shape[name, 7])
  }

  printf "\n## Targets\n\n"
  ok = 1
  worst = ""
  for (i = 1; i <= cases; ++i) {
    name = order[i]
    entries = substr(name, 6) + 0
    if (name !~ /^walk\// || entries > 5000) continue
    r = has["linux", name] && has["windows", name] ? median["windows", name] / median["linux", name] : 0
    if (r < 100) ok = 0
    worst = worst sprintf(" %s %.1f×;", name, r)
  }
  printf "- Settled: Linux full-walk call at least 100× cheaper than Windows under Wine, 10 to "
  printf "5,000 entries: %s (Windows/Linux:%s)\n", verdict(ok), worst
  r = median["linux", "walk/20000"] / median["linux", "walk/100"]
  printf "- Settled: Linux walk call at 20,000 entries at most 1.5× its cost at 100: %s (%.2f×)\n",
         verdict(r <= 1.5), r
  ok = 1
  worst = ""
  for (i = 1; i <= cases; ++i) {
    name = order[i]
    if (name != "fresh_walk/100" && name != "fresh_walk/1000") continue
    r = has["linux", name] && has["windows", name] ? median["windows", name] / median["linux", name] : 0
    if (r < 50) ok = 0
    worst = worst sprintf(" %s %.1f×;", name, r)
  }
  printf "- Fresh: Linux walk call at least 50× cheaper than Windows under Wine at 100 and 1,000 "
  printf "entries: %s (Windows/Linux:%s)\n", verdict(ok && worst != ""), worst
  # A signed walk against the unsigned walk of the same file.
  for (f = 0; f < 2; ++f) {
    kind = f ? "fresh_walk/" : "walk/"
    bound = f ? 1.5 : 1.2
    ok = 1
    worst = ""
    for (i = 1; i <= cases; ++i) {
      name = order[i]
      if (index(name, "signed_" kind) != 1) continue
      plain = substr(name, 8)
      r = has["linux", plain] ? median["linux", name] / median["linux", plain] : 0
      if (r == 0 || r > bound) ok = 0
      worst = worst sprintf(" %s %.2f×;", name, r)
    }
    printf "- %s: Linux signed walk call at most %.1f× the unsigned one: %s (signed/unsigned:%s)\n",
           f ? "Fresh" : "Settled", bound, verdict(ok && worst != ""), worst
  }
  r = has["linux", "get_save_path"] && has["windows", "get_save_path"] ? \
      median["windows", "get_save_path"] / median["linux", "get_save_path"] : 0
  printf "- Settled: Linux GetSaveFilePath at least 10× cheaper than Windows under Wine: %s "\
         "(%.1f×)\n", verdict(r >= 10), r
  ok = 1
  over = ""
  for (i = 1; i <= cases; ++i) {
    name = order[i]
    if (!(name in paired)) continue
    r = paired[name]
    extra = median["windows", name] - median["floor", name]
    if (r > 1.10 && !(median["floor", name] < 1000 && extra <= 100)) {
      ok = 0
      over = over sprintf(" %s %.2f×;", name, r)
    }
  }
  printf "- Windows within 1.10× of the raw system calls, or within 100 ns of them where they take "
  printf "under 1 µs, every call: %s%s\n", verdict(ok), ok ? "" : " (over:" over ")"
  ok = 1
  worst = 0
  for (i = 1; i <= shapes; ++i) {
    name = shape_order[i]
    for (c = 4; c <= 6; ++c) {
      if (shape[name, c] > 3 * shape[name, 3] + 1048576) ok = 0
      if (shape[name, c] / shape[name, 3] > worst) worst = shape[name, c] / shape[name, 3]
    }
  }
  printf "- Any call on a file of any shape takes at most 3× the file's size plus 1 MiB of heap: "
  printf "%s (at most %.2f×)\n", verdict(ok && shapes == 4), worst
  small = memory["walk/10", 6]
  large = memory["walk/20000", 6]
  printf "- A walk of 20,000 entries allocates no more than the texts it hands out plus a bounded "
  printf "amount per call: %s (at most %d B per later call at 20,000 entries, %d B at 10; the "\
         "first call's %d B is the parse the cache keeps)\n",
         verdict(large > 0 && large <= small * 1.05), large, small, memory["walk/20000", 5]
}
