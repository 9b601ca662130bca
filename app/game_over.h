// The end of a game: a score that reaches the ranking is entered with the
// show (screen wipes, fireworks) and the name-entry dialog.
#pragma once

// Offers World.score to the ranking at game over.
void RecordRanking();
