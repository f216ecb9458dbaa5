#pragma once
// What every platform operation shares: the handle type and the error codes.
// Error codes are the platform's own (GetLastError or errno).
#include <cstdint>

namespace platform {

using os_handle = intptr_t;
inline constexpr os_handle invalid_handle = -1;

enum class standard_stream { input, output, error };

// Error codes the tool tests for.
extern const uint32_t error_file_not_found;
extern const uint32_t error_already_exists;
extern const uint32_t error_no_more_files;

/// The calling thread's last error code (GetLastError or errno).
uint32_t last_error();
void set_last_error(uint32_t code);

}  // namespace platform
