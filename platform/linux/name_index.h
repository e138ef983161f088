// An open-addressing hash index of positions in a table kept elsewhere: one
// flat array, so building it costs no allocation per name and a lookup
// touches little memory, which a profile file of many thousand keys needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace povupdate::backend {

class NameIndex {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // The position stored under `hash` for which `matches(position)` holds,
  // or kNone.
  template <typename Matches>
  std::uint32_t Find(std::uint32_t hash, Matches matches) const {
    if (slots_.empty()) return kNone;
    for (std::size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      const Slot& slot = slots_[at];
      if (slot.position == kNone) return kNone;
      if (slot.hash == hash && matches(slot.position)) return slot.position;
    }
  }

  // Makes room for `count` positions in all, so that adding them doesn't
  // grow the index step by step.
  // The index is kept at most half full, so that probe runs stay short.
  void Reserve(std::size_t count) {
    if (count * 2 <= slots_.size()) return;
    std::size_t size = 16;
    while (size < count * 2) size *= 2;
    Rehash(size);
  }

  // Stores `position` under `hash`; the caller has made sure that no
  // matching position is stored yet.
  void Add(std::uint32_t hash, std::uint32_t position) {
    Reserve(count_ + 1);
    Place(hash, position);
    ++count_;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t position = kNone;
  };

  std::size_t Mask() const { return slots_.size() - 1; }

  void Place(std::uint32_t hash, std::uint32_t position) {
    std::size_t at = hash & Mask();
    while (slots_[at].position != kNone) at = (at + 1) & Mask();
    slots_[at] = Slot{hash, position};
  }

  void Rehash(std::size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.position != kNone) Place(slot.hash, slot.position);
    }
  }

  std::vector<Slot> slots_;  // a power of two of them
  std::size_t count_ = 0;
};

}  // namespace povupdate::backend
