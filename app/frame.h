// One frame of play or of the demo: the world's steps in their fixed order,
// the status line or the attract screen, then the game's and the level's end.
#pragma once

int PlayFrame();
int DemoFrame();
