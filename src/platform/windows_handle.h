#pragma once
// Conversions shared by the Windows layer's files.
#include <windows.h>

#include "platform/handle.h"

namespace platform {

inline HANDLE native(os_handle handle) { return reinterpret_cast<HANDLE>(handle); }
inline os_handle wrap(HANDLE handle) { return reinterpret_cast<os_handle>(handle); }
inline DWORD standard_id(standard_stream stream) {
  return stream == standard_stream::input ? STD_INPUT_HANDLE
         : stream == standard_stream::output ? STD_OUTPUT_HANDLE
                                             : STD_ERROR_HANDLE;
}

}  // namespace platform
