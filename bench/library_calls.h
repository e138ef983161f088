// The benchmarked operations, each made through the library's exports as a
// host makes them, releasing every text the library hands out.
#pragma once

namespace povupdate::bench {

// One enumeration call at `cursor`, which it advances. The bytes of the
// texts it was handed (0 at the end of the list), or -1 on failure.
long ReadNextEntry(int& cursor);
// A walk from the first entry to the end of the list; the number of calls
// it took, or -1 on failure.
int WalkUpdateList();

bool ReadLocalItem(const char* name);
bool RecordLocalItem(const char* name, const char* version);
bool ReadSavePath();
// `path` must end in "Install", so that the library leaves it as it is.
bool StoreSavePath(const char* path);
// The update file's name as the library gives it, kept in `name` of `size`
// bytes; false when it gives none or the name doesn't fit.
bool ReadFileName(char* name, unsigned size);
// What a host does with a text it was handed (null or not): keeps a copy in
// `name` of `size` bytes and releases the block. False when there is none
// or it doesn't fit.
bool KeepText(char* text, char* name, unsigned size);

}  // namespace povupdate::bench
