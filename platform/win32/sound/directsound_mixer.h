// The sound engine's mixer on Windows: DirectSound with one static secondary
// buffer per effect, and the system's wave player (PlaySound from memory)
// for the embedded waves when DirectSound does not start.
#pragma once

namespace tavro_win32 {

// The path the last MixerOpen took, kept after MixerClose: "directsound"
// when the device opened, else "fallback" (the embedded waves go to
// PlaySound). "fallback" before any opening.
const char* MixerPathName();

}  // namespace tavro_win32
