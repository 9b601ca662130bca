// The ranking's rules: where a finished game's score goes in the top 10, and
// what a typed name becomes. The game-over show around them is
// app/game_over.h's.
#pragma once

#include <cstddef>

#include "world/world.h"

extern const char kDefaultPlayerName[];  // "-- Great player --"

// The row (0-based) that a score takes: below every row with as many points
// or more, so that the earlier score stays above; kRankingRows when it takes
// none.
int RankingPlaceOf(int score);
// The same rule for any table of kRankingRows rows.
int RankingPlaceIn(const RankingEntry* rows, int score);

// Moves the rows from place on down one (the last row is dropped) and puts
// the score, its 0-based level, the rapid-fire flag and the default name at
// place.
void InsertRankingRow(int place, int score, int level, int rapid);

// Gives the row at place a name cleaned by CleanPlayerName; an empty one
// leaves the default name.
void NameRankingRow(int place, const char* name);

// Makes a typed name safe to store: malformed UTF-8 and control characters
// removed, surrounding spaces dropped, cut to the longest run of whole
// characters within 20 columns, trailing spaces dropped again. The result
// (possibly empty) goes to out, which has room for kNameMaxBytes + 1 bytes.
void CleanPlayerName(const char* typed, char* out);

// What a host's name-entry dialog hands over: the typed UTF-8 bytes copied
// into text, zero-terminated within capacity bytes (nothing when capacity is
// 0), cut before the first character that does not fit whole.
void CopyTypedName(const char* typed, std::size_t length, char* text, std::size_t capacity);
