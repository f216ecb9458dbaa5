// The consuming project's precompiled header for the end-to-end tests: the
// kit's declarations, then the generated header (named by the build).
#pragma once
#include "vex_resource_builder/vex_resource.h"
#include VEX_GENERATED_HEADER
