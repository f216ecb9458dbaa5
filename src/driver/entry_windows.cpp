// Windows entry point: the wide argument vector comes from the system.
#include "driver/run.h"

int wmain(int argc, wchar_t** argv) { return run_builder(argc, argv); }
