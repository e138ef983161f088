// The library's general allocator. Every block the library hands to a host
// comes from here, so the host can release it with the system's allocator:
// CoTaskMemFree on Windows, free() on Linux. A failed allocation returns
// null; it never throws.
#pragma once

#include <cstddef>

namespace povupdate {

void* AllocateBlock(std::size_t bytes) noexcept;
void FreeBlock(void* block) noexcept;

}  // namespace povupdate
