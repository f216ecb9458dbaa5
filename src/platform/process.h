#pragma once
// What the tool asks of its own process beyond files: its environment and
// its identity.
#include <cstdint>
#include <string>

namespace platform {

/// The value of an environment variable; false when it is not set.
bool environment_variable(const wchar_t* name, std::wstring& value);

/// The process's identifier, unique among the processes running on this machine.
uint32_t process_id();

}  // namespace platform
