// The named mutex that marks a running copy of the program: created (or
// opened, when another copy holds it) and kept, never waited on.
#pragma once

// False when the system refuses it; where there are no named mutexes, always
// true.
bool PlatformHoldNamedMutex(const char* name);
// Closes it; safe to call when none is held.
void PlatformReleaseNamedMutex();
