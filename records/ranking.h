// Entry of a finished game into the ranking, with the name-entry dialog.
#pragma once

#include <cstddef>

extern const char kDefaultPlayerName[];  // "-- Great player --"

// Offers World.score to the ranking at game over.
void RecordRanking();

// Makes a typed name safe to store: malformed UTF-8 and control characters
// removed, surrounding spaces dropped, cut to the longest run of whole
// characters within 20 columns, trailing spaces dropped again. The result
// (possibly empty) goes to out, which has room for kNameMaxBytes + 1 bytes.
void CleanPlayerName(const char* typed, char* out);
