// Start-up values of the program.
#pragma once

#include "host/files.h"

// The executable's folder, without a trailing separator; the host sets it
// before StartUp.
extern char BaseDirectory[kMaxPath];
// "Tavro.exe": the first argument of the sound loader's diagnostics.
extern char ProgramName[256];
