#pragma once
// The few operating-system services the tool needs, behind one interface:
// one header per capability, implemented once per platform in files named
// for both (files_posix.cpp, files_windows.cpp, ...). The Windows layer uses
// the Win32 calls of the same names; the POSIX layer gives the same
// operations the same results.
#include "platform/console.h"
#include "platform/directory_lister.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/memory_services.h"
#include "platform/system_time.h"
