// The sound engine's mixer on Windows: DirectSound with one static secondary
// buffer per effect, and the system's wave player (PlaySound from memory)
// for the embedded waves when DirectSound does not start.
#pragma once

namespace tavro_win32 {

// "directsound" once the device opened, else "fallback"; the effects then
// go to PlaySound.
const char* MixerPathName();

}  // namespace tavro_win32
