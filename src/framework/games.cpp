#include "framework/games.h"

#include <cstdlib>
#include <memory>

#include "games/duel/gamejedi.h"

Games::Games() {
    // A game that fails to construct ends the catalogue's construction; the games made
    // before it are deleted here, since the destructor will not run.
    try {
        auto duel = std::make_unique<GameJedi>();
        games.push_back(duel.get());
        static_cast<void>(duel.release());  // the catalogue owns it now
    } catch (...) {
        for (Game* game : games) {
            delete game;
        }
        throw;
    }
}

Games::~Games() {
    for (Game* game : games) {
        delete game;
    }
}

Game* Games::get_random() {
    const auto pick = static_cast<unsigned>(std::rand());
    if (games.empty()) {
        return nullptr;
    }
    return games[pick % games.size()];
}
