// When a cached parse is still the file on disk
//
// Every load stat()s the file; an exported call loads each file once, for
// all of its lookups (profile_call.h), and a lookup outside a call loads it
// for itself. The parse kept from an earlier read is used without reading
// the file again only when both of these hold:
//
// 1. Device, inode, size, mtime and ctime (to the nanosecond) are those of
//    the file that was read. A file replaced by rename has another inode; one
//    deleted, truncated or with a directory in its place fails stat() or the
//    comparison; one rewritten in place gets a new ctime, which, unlike mtime,
//    no program can set back (utimensat() itself sets ctime to the present).
//
// 2. The file had settled when it was read: its ctime lay at least a margin
//    before the moment the read began. Time stamps have the file system's
//    granularity, so a second change within the granule of the first leaves
//    the stamps as they were. Every change made after the read began gets a
//    ctime in that moment's granule or a later one; a ctime at least one
//    granule older than the moment therefore differs from the ctime of any
//    change the read may have missed. A ctime ahead of the clock (the clock
//    was set back after the change) is as good while the clock stays a
//    margin short of it: any change made meanwhile gets an earlier ctime.
//
// Otherwise the file is read again (the moment is taken before it is
// opened). When its bytes equal the cached ones (compared piece by piece,
// without a copy) the parse is kept and only the stamps and the moment are
// renewed, so a file loaded in the moments after a change costs a read and
// a comparison per load until it has settled, and one parse. A parse that
// no longer matches is dropped before the new one is made.
//
// The margin: the moment comes from CLOCK_REALTIME_COARSE, the clock the
// kernel stamps files with. Local file systems that keep nanosecond stamps
// (ext4, XFS, Btrfs, F2FS, tmpfs, overlayfs; recognised by statfs() and by a
// ctime with a fraction of a second, which ext2/3 inodes with one-second
// stamps never have) advance their stamps with every clock tick, a few
// milliseconds: the margin is 100 ms. Anywhere else it is 3 s, which covers
// FAT's two-second stamps and a network server whose clock is a little off.
//
// The cache holds the files used last while their bytes, their indexes and
// its bookkeeping stay within kMostBytes (256 MiB), counted whenever a file is
// loaded; a file too large for that alone is not kept, and read by every call
// that uses it. The process's own writes replace the file by rename and keep
// the document they wrote, marked as unsettled: the next load compares
// instead of parsing.
//
// Not covered, as by any check of time stamps (git's index has the same
// limits): writes through a shared mmap(), which stamp the file only when a
// page is first dirtied; a single write() still running a margin after it
// began; the system clock set back by more than the margin; a network file
// system whose attribute cache answers stat() with an old result.
#include "platform/linux/profile_cache.h"

#include <cerrno>
#include <utility>

namespace povupdate::backend {
namespace {

// What an entry costs beyond its document: the path and the bookkeeping of
// the table, the entry and the document's shared ownership.
constexpr std::size_t kEntryOverhead = 256;

std::size_t ChargeFor(const std::string& path, const IniDocument& document) {
  return document.Footprint() + path.size() + kEntryOverhead;
}

}  // namespace

ProfileCache::ProfileCache(Clock clock, std::size_t most_bytes)
    : clock_(clock), most_bytes_(most_bytes) {}

ProfileSnapshot ProfileCache::Load(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    Forget(path);
    return {missing ? ReadStatus::kMissing : ReadStatus::kFailed, nullptr};
  }
  return Load(path, status);
}

ProfileSnapshot ProfileCache::Load(const std::string& path, struct stat status) {
  if (!S_ISREG(status.st_mode)) {
    Forget(path);
    return {ReadStatus::kFailed, nullptr};
  }
  bool trusted = false;
  std::shared_ptr<const IniDocument> known = Lookup(path, FileStamp::Of(status), trusted);
  if (trusted) return {ReadStatus::kOk, known};

  const timespec started = clock_();
  std::string bytes;
  bool changed = true;
  const ReadStatus read = known == nullptr
                              ? ReadWholeFile(path, bytes, status)
                              : RereadWholeFile(path, known->bytes(), changed, bytes, status);
  if (read != ReadStatus::kOk) {
    Forget(path);
    return {read, nullptr};
  }
  if (changed) {
    // The old version goes first, so that memory never holds two parses.
    known.reset();
    Forget(path);
    known = std::make_shared<const IniDocument>(std::move(bytes));
  }
  Store(path, FileStamp::Of(status), StampTrust::For(path, status, started), known);
  return {ReadStatus::kOk, known};
}

void ProfileCache::Remember(const std::string& path, std::shared_ptr<const IniDocument> document) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    Forget(path);
    return;
  }
  Store(path, FileStamp::Of(status), Trust{false, timespec{}}, std::move(document));
}

std::shared_ptr<const IniDocument> ProfileCache::Lookup(const std::string& path,
                                                        const Stamp& current, bool& trusted) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end()) return nullptr;
  Entry& entry = found->second;
  entry.last_use = ++uses_;
  trusted = entry.stamp == current && entry.trust.Holds(clock_());
  // The document's index, built since it was stored, counts from now on.
  const std::size_t charge = ChargeFor(path, *entry.document);
  charged_ = charged_ - entry.charge + charge;
  entry.charge = charge;
  std::shared_ptr<const IniDocument> document = entry.document;
  MakeRoom(0, &entry);
  return document;
}

void ProfileCache::Store(const std::string& path, const Stamp& stamp, Trust trust,
                         std::shared_ptr<const IniDocument> document) {
  const std::size_t charge = ChargeFor(path, *document);
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(path);
  if (found != entries_.end()) Erase(found);
  // A file larger than the bound is read for every call that uses it.
  if (charge > most_bytes_) return;
  MakeRoom(charge, nullptr);
  entries_.emplace(path, Entry{stamp, trust, std::move(document), charge, ++uses_});
  charged_ += charge;
}

void ProfileCache::MakeRoom(std::size_t room, const Entry* kept) {
  while (charged_ + room > most_bytes_) {
    auto oldest = entries_.end();
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
      if (&entry->second == kept) continue;
      if (oldest == entries_.end() || entry->second.last_use < oldest->second.last_use) {
        oldest = entry;
      }
    }
    if (oldest == entries_.end()) return;
    Erase(oldest);
  }
}

void ProfileCache::Erase(std::unordered_map<std::string, Entry>::iterator entry) {
  charged_ -= entry->second.charge;
  entries_.erase(entry);
}

void ProfileCache::Forget(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(path);
  if (found != entries_.end()) Erase(found);
}

ProfileCache& SharedProfileCache() {
  static ProfileCache cache(CoarseRealtime);
  return cache;
}

}  // namespace povupdate::backend
