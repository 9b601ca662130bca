// Entry of a finished game into the ranking, with the name-entry dialog.
#pragma once

#include <cstddef>

extern const char kDefaultPlayerName[];  // "-- Great player --"

// Offers World.score to the ranking at game over.
void RecordRanking();

// Makes a typed name safe to store: control characters removed, surrounding
// spaces dropped, cut to 20 bytes at a UTF-8 character boundary, trailing
// spaces dropped again. The result (possibly empty) goes to out, which has
// room for 21 bytes.
void CleanPlayerName(const char* typed, char* out);
