// The end of a game: a score that reaches the ranking is entered with the
// show (screen wipes, fireworks) and the name-entry dialog.
#pragma once

#include <cstddef>

// Offers World.score to the ranking at game over.
void RecordRanking();

// While RecordRanking asks for the name: the typed text (length bytes of
// UTF-8, not yet cleaned) names the new row now. Nothing at other times.
void KeepTypedName(const char* typed, std::size_t length);
