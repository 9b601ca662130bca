// The playfield is shown at a whole number of screen pixels per game pixel.
#pragma once

namespace tavro_win32 {

// The largest whole scale (at least 1) with which a window of the given
// chrome (frame, caption and menu around the client area) fits the work area.
int ChooseScale(int workWidth, int workHeight, int chromeWidth, int chromeHeight);
// The game pixel under a client-area coordinate at that scale (rounded down).
int GameCoordinate(int client, int scale);

}  // namespace tavro_win32
