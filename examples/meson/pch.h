// The generated site.cpp includes "pch.h": the kit's declarations, then the
// generated ones, so that its records get external linkage.
#pragma once
#include "vex_resource_builder/vex_resource.h"
#include "site.h"
