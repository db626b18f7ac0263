#pragma once

#include <vector>

#include "framework/game.h"

// The catalogue a match draws its rounds from. It creates each registered game once and
// keeps it for the whole match.
class Games {
  public:
    Games();
    ~Games();
    Games(const Games&) = delete;
    Games& operator=(const Games&) = delete;

    // A game chosen at random; takes exactly one rand() per pick. Null only for an empty
    // catalogue, which the program never has.
    Game* get_random();

  private:
    friend struct GamesProbe;

    std::vector<Game*> games;  // owned
};
