#pragma once

#include <SDL.h>

#include <deque>

#include "framework/frame.h"
#include "framework/game.h"
#include "games/duel/bout.h"
#include "games/duel/picture.h"

// What a friend's page shows of its own fighter (player 1, the blue blade) before the
// host has answered: the host's newest frame, with each of this page's presses that the
// host has not taken yet played on it by the duel's rules, the edges and the re-arm
// included. Only that fighter's own steps and turns: a press that would clash or hit, the
// host's fighter, the points and whatever lies between rounds are the host's to show, and
// every frame from the host replaces what was foreseen.
class Prediction {
  public:
    // A press of this page's: its number (counting up from 1), its way, and when it was
    // made (ms, on a clock that only goes forward).
    void press(Uint32 number, Game::Button way, Uint32 at);
    // A frame from the host, and the newest of this page's presses it had taken: those
    // are in the frame, taken or refused, and no longer foreseen.
    void frame(const Frame& from_host, Uint32 taken);
    // The host's newest frame with the presses it has not taken played on it.
    [[nodiscard]] Frame shown() const;
    // Presses made and not yet taken.
    [[nodiscard]] std::size_t waiting() const { return pending.size(); }
    // Frames from the host after which this page's own fighter, foreseen, stood otherwise
    // than it had been shown: a press foreseen wrongly.
    [[nodiscard]] Uint32 corrected() const { return corrections; }

  private:
    struct Pending {
        Uint32 number;
        Game::Button way;
        bool counts;  // whether the re-arm lets it count
    };
    // The duel as the host's frame shows it, then moved by the presses foreseen; false
    // where the frame shows no round under way.
    bool ahead(Bout& bout) const;

    Frame host{};
    picture::Sight known;  // the fighters as last made out
    std::deque<Pending> pending;
    bool counted = false;   // whether a press of this page's has counted yet
    Uint32 counted_at = 0;  // when the last one that counted was made
    Uint32 corrections = 0;
};
