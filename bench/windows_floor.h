// The floor of each export on Windows: the system calls the library makes
// for it, made directly with the same arguments, and nothing else. The texts
// a host is handed are allocated, filled and released with the task
// allocator, as the library's are; the library's own work (its path
// building, scratch blocks and copies) is what the floor leaves out.
#pragma once

namespace povupdate::bench::floor {

// One enumeration call's system calls for entry `cursor`; false at the end
// of the list.
bool ReadEntry(int cursor, const char* update_file);
// A walk of the whole list; the number of calls it took.
int WalkUpdateList(const char* update_file);

void ReadLocalItem(const char* name, const char* local_file);
bool RecordLocalItem(const char* name, const char* version, const char* local_file);
bool ReadSavePath();
bool StoreSavePath(const char* path);
// The name handed out is kept as the host keeps the library's (KeepText).
bool ReadFileName(char* name, unsigned size);

}  // namespace povupdate::bench::floor
