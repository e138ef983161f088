// How the backend's Win32 functions report a failure: through the thread's
// last error, as Windows' own do.
#pragma once

#include "platform/linux/win32_api.h"

namespace povupdate::backend {

// The result of a failed BOOL call, with `error` as the last error.
inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace povupdate::backend
