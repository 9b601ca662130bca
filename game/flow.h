// Switching between demo mode and play mode, and the show pieces they use.
#pragma once

void StartGame();
void EnterDemoMode();
// Paints the client area black line by line; paced: 1 ms after every second
// step.
void ScreenWipe(int paced);
// A blocking show of harmless explosions.
void Fireworks();
