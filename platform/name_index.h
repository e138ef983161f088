// An open-addressing hash index of positions in a text kept elsewhere: one
// four-byte position and one byte of the hash per slot, so that a file of
// millions of names costs a few bytes per name. The positions themselves
// say what name they stand for; the caller recomputes a hash from one when
// the index grows, and tells from one whether it matches.
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
    if (positions_.empty()) return kNone;
    const std::uint8_t tag = TagOf(hash);
    for (std::size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      const std::uint32_t position = positions_[at];
      if (position == kNone) return kNone;
      if (tags_[at] == tag && matches(position)) return position;
    }
  }

  // Stores `position` under `hash`; the caller has made sure that no
  // matching position is stored yet. `hash_of(position)` gives the hash of
  // any stored position again, for growing.
  template <typename HashOf>
  void Add(std::uint32_t hash, std::uint32_t position, HashOf hash_of) {
    // At most three quarters full, so that probe runs stay short.
    if ((count_ + 1) * 4 > positions_.size() * 3) Grow(hash_of);
    Place(hash, position);
    ++count_;
  }

  // The bytes the index holds.
  std::size_t Footprint() const { return positions_.capacity() * 5; }

 private:
  static std::uint8_t TagOf(std::uint32_t hash) { return static_cast<std::uint8_t>(hash >> 24); }
  std::size_t Mask() const { return positions_.size() - 1; }

  void Place(std::uint32_t hash, std::uint32_t position) {
    std::size_t at = hash & Mask();
    while (positions_[at] != kNone) at = (at + 1) & Mask();
    positions_[at] = position;
    tags_[at] = TagOf(hash);
  }

  template <typename HashOf>
  void Grow(HashOf hash_of) {
    std::vector<std::uint32_t> old(positions_.empty() ? 16 : positions_.size() * 2, kNone);
    old.swap(positions_);
    // The old tags are not needed: every hash is computed again.
    std::vector<std::uint8_t>(positions_.size()).swap(tags_);
    for (const std::uint32_t position : old) {
      if (position != kNone) Place(hash_of(position), position);
    }
  }

  std::vector<std::uint32_t> positions_;  // a power of two of them
  std::vector<std::uint8_t> tags_;        // the top byte of each position's hash
  std::size_t count_ = 0;
};

}  // namespace povupdate::backend
