// Creation of rocks.
#pragma once

// Fills slot `slot` with a new falling rock at (x, y); fast rocks of the two
// slow speed classes fall faster.
void SpawnMeteor(int x, int y, int slot, int fast);
// The first wave of a level: each slot gets a rock with one chance in two.
void FillWave();
// A fast rock at (x, y) in the first free slot; nothing when all are in use.
void SpawnInFreeSlot(int x, int y);
