#include "shared/findings.h"

#include <algorithm>
#include <utility>

namespace povupdate_cli {

void Findings::Add(const char* kind, int line, Severity severity, std::string message) {
  ++(severity == Severity::kError ? errors_ : warnings_);
  Kind& counted = kinds_[kind];
  counted.severity = severity;
  if (++counted.count > kMaxPerKind) return;
  counted.last_kept_line = line;
  kept_.push_back({line, severity, std::move(message)});
}

std::vector<Finding> Findings::Take() {
  for (const auto& [kind, counted] : kinds_) {
    if (counted.count <= kMaxPerKind) continue;
    kept_.push_back({counted.last_kept_line, counted.severity,
                     std::to_string(counted.count - kMaxPerKind) + " more like the " +
                         std::to_string(kMaxPerKind) + " before are left out"});
  }
  std::stable_sort(kept_.begin(), kept_.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return std::move(kept_);
}

}  // namespace povupdate_cli
