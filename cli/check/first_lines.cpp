#include "check/first_lines.h"

#include <algorithm>
#include <utility>

#include "check/profile_text.h"
#include "platform/text.h"

namespace povupdate_cli {
namespace {

// The hash table has a slot for every eighth sorted name (a byte a name)
// and is merged when half full, so that merges come at most every sixteenth
// of the array and cost linear time in all.
constexpr std::size_t kMinRecentSlots = 64;
constexpr std::size_t kSortedNamesPerSlot = 8;

bool FoldedEqual(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return povupdate::FoldAsciiCase(x) == povupdate::FoldAsciiCase(y);
  });
}

}  // namespace

FirstLines::FirstLines(std::string_view text, NameOf name_of, std::size_t most)
    : text_(text), name_of_(name_of), most_(most) {}

LineAt FirstLines::Add(LineAt line) {
  const std::string_view name = Name(line);
  const LineAt first = Find(name);
  if (first.number != 0) return first;
  if ((recent_count_ + 1) * 2 > recent_.size()) Merge();
  std::size_t slot = SlotOf(name);
  while (recent_[slot].number != 0) slot = (slot + 1) % recent_.size();
  recent_[slot] = line;
  ++recent_count_;
  return line;
}

LineAt FirstLines::Find(std::string_view name) const {
  const FoldedLess less;
  const auto found = std::lower_bound(
      sorted_.begin(), sorted_.end(), name,
      [&](const LineAt& line, std::string_view wanted) { return less(Name(line), wanted); });
  if (found != sorted_.end() && FoldedEqual(Name(*found), name)) return *found;
  if (recent_.empty()) return {};
  for (std::size_t slot = SlotOf(name); recent_[slot].number != 0;
       slot = (slot + 1) % recent_.size()) {
    if (FoldedEqual(Name(recent_[slot]), name)) return recent_[slot];
  }
  return {};
}

std::vector<LineAt> FirstLines::Take() {
  Merge();
  std::vector<LineAt>().swap(recent_);
  return std::exchange(sorted_, {});
}

void FirstLines::Clear() {
  sorted_.clear();
  if (recent_count_ == 0) return;
  std::vector<LineAt>().swap(recent_);
  recent_count_ = 0;
}

// FNV-1a of the name in one case.
std::size_t FirstLines::SlotOf(std::string_view name) const {
  std::uint32_t hash = 2166136261U;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(povupdate::FoldAsciiCase(c))) * 16777619U;
  }
  return hash % recent_.size();
}

// Moves the hash table's lines into the sorted array, merging from the back
// within the room set aside, and makes the table anew.
void FirstLines::Merge() {
  const auto used = std::remove_if(recent_.begin(), recent_.end(),
                                   [](const LineAt& line) { return line.number == 0; });
  recent_.erase(used, recent_.end());
  const FoldedLess less;
  const auto by_name = [&](const LineAt& a, const LineAt& b) { return less(Name(a), Name(b)); };
  std::sort(recent_.begin(), recent_.end(), by_name);
  std::size_t from_sorted = sorted_.size();
  std::size_t from_recent = recent_.size();
  if (from_recent != 0) {
    if (sorted_.capacity() < from_sorted + from_recent) {
      sorted_.reserve(std::max(most_, from_sorted + from_recent));
    }
    sorted_.resize(from_sorted + from_recent);
    for (std::size_t to = sorted_.size(); from_recent != 0;) {
      if (from_sorted != 0 && by_name(recent_[from_recent - 1], sorted_[from_sorted - 1])) {
        sorted_[--to] = sorted_[--from_sorted];
      } else {
        sorted_[--to] = recent_[--from_recent];
      }
    }
  }
  std::vector<LineAt>().swap(recent_);
  recent_.resize(std::max(kMinRecentSlots, sorted_.size() / kSortedNamesPerSlot));
  recent_count_ = 0;
}

}  // namespace povupdate_cli
