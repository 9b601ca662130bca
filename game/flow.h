// Switching between demo mode and play mode, and the show pieces they use.
#pragma once

void StartGame();

// Counters of a level start (no live rock, no reserve, no recovery, the
// rocks paused for 30 frames) and the ground line at groundY.
void ResetLevelState(int groundY);
// New stars, explosions and popups freed, and a fresh wave.
void StartNewWave();

void EnterDemoMode();
// Paints the client area black line by line; paced: 1 ms after every second
// step.
void ScreenWipe(int paced);
// A blocking show of harmless explosions.
void Fireworks();
// While skipped (a replay's unseen jump), the shows neither pause nor show
// their steps.
void SetShowPausesSkipped(bool skipped);
