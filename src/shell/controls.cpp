#include "shell/controls.h"

#include <algorithm>

#include "games/duel/computer.h"
#include "platform/outlet.h"
#include "shell/events.h"

namespace {

constexpr int NOBODY = -1;

// The press a key of this device makes, if it is one of the players' keys.
bool press_of(const SDL_Event& event, Press& press) {
    int player = 0;
    Game::Button way = Game::UP;
    if (!Game::button_of(event.key.keysym.sym, player, way)) {
        return false;
    }
    press = Press{player, way, event.type == SDL_KEYDOWN, Press::From::HERE};
    return true;
}

bool is_key(const SDL_Event& event) {
    return event.type == SDL_KEYDOWN || event.type == SDL_KEYUP;
}

}  // namespace

Controls::Controls(const Play& setup) : setup(setup) {
    for (auto& source : held) {
        for (auto& player : source) {
            player.fill(NOBODY);
        }
    }
    joysticks = std::make_unique<Joysticks>(Pads::buttons_used(Joysticks::layout()), BR_PADS);
    if (setup.mode == Play::Mode::ALONE) {
        opponent = std::make_unique<Computer>(setup.computer_ms);
    }
}

Controls::~Controls() {
    alarm.remove_all();
}

bool Controls::wait(SDL_Event& event) {
    return joysticks->wait(event);
}

int Controls::player_of(const Press& press) const {
    switch (press.from) {
        case Press::From::HERE: {
            const int player = setup.mode == Play::Mode::TWO ? press.player : 0;
            return phone_holds(player) || computer_plays(player) ? NOBODY : player;
        }
        case Press::From::FRIEND:
            return setup.mode == Play::Mode::HOST ? 1 : NOBODY;  // late, after leaving
        case Press::From::COMPUTER:
            return opponent ? 1 : NOBODY;
        case Press::From::PAD:  // no one, late after the phone gave the side back
            return phone_holds(press.player) && !computer_plays(press.player) ? press.player
                                                                              : NOBODY;
    }
    return NOBODY;
}

SDL_Event Controls::key(const Press& press) {
    if (holding) {
        return SDL_Event{};  // every key was let go when the hold began
    }
    int& was =
        held[static_cast<std::size_t>(press.from)][static_cast<std::size_t>(press.player & 1)]
            [static_cast<std::size_t>(press.way & 3)];
    int player = player_of(press);
    if (!press.down && was != NOBODY) {
        player = was;  // up as the key it went down as
    }
    was = press.down ? player : NOBODY;
    if (player == NOBODY) {
        return SDL_Event{};
    }
    return player_key(press.down ? SDL_KEYDOWN : SDL_KEYUP, Game::KEYS[player][press.way]);
}

std::vector<SDL_Event> Controls::let_go() {
    std::vector<SDL_Event> ups;
    for (auto& source : held) {
        for (auto& player : source) {
            for (std::size_t way = 0; way < player.size(); ++way) {
                if (player[way] != NOBODY) {
                    ups.push_back(player_key(SDL_KEYUP, Game::KEYS[player[way]][way]));
                    player[way] = NOBODY;
                }
            }
        }
    }
    return ups;
}

std::vector<SDL_Event> Controls::let_go(Press::From from, int player) {
    std::vector<SDL_Event> ups;
    for (auto& set : held[static_cast<std::size_t>(from)]) {
        for (std::size_t way = 0; way < set.size(); ++way) {
            if (set[way] == player) {
                ups.push_back(player_key(SDL_KEYUP, Game::KEYS[player][way]));
                set[way] = NOBODY;
            }
        }
    }
    return ups;
}

std::vector<SDL_Event> Controls::side(int code) {
    if (!setup.pads || code < 0 || code >= SIDE_PRESS + 2 * SIDE_CODES) {
        return {};
    }
    if (code >= SIDE_PRESS) {
        const int pad = code - SIDE_PRESS;
        const SDL_Event made = key(Press{pad / SIDE_CODES, static_cast<Game::Button>(pad & 3),
                                         (pad & FRIEND_DOWN) != 0, Press::From::PAD});
        return made.type != 0 ? std::vector<SDL_Event>{made} : std::vector<SDL_Event>{};
    }
    const int player = code / SIDE_CODES;
    const bool phone = code % SIDE_CODES == SIDE_TAKEN;
    phones[static_cast<std::size_t>(player)] = phone;
    // Whoever no longer plays the side lets go of what they held, so no fighter keeps on
    // moving for them.
    return let_go(phone ? Press::From::HERE : Press::From::PAD, player);
}

std::vector<SDL_Event> Controls::pad_keys(const std::vector<SDL_Event>& made) {
    std::vector<SDL_Event> keys;
    for (const SDL_Event& event : made) {
        Press press{};
        if (press_of(event, press)) {
            keys.push_back(key(press));
        } else {
            keys.push_back(event);  // Back's Esc
        }
    }
    return keys;
}

std::vector<SDL_Event> Controls::keys(const SDL_Event& event) {
    if (is_key(event)) {
        Press press{};
        if (!press_of(event, press)) {
            return {event};  // not a player's key: the screen may still want it
        }
        const SDL_Event made = key(press);
        return made.type != 0 ? std::vector<SDL_Event>{made} : std::vector<SDL_Event>{};
    }
    if (Joysticks::reports(event.type)) {
        return pad_keys(pads.input(event));
    }
    switch (event.type) {
        case BR_PADS: {
            std::vector<SDL_Event> made;
            const auto states = joysticks->poll();
            for (int pad = 0; pad < Pads::PADS; ++pad) {
                if (joysticks->open(pad)) {
                    const std::vector<SDL_Event> more = pads.update(pad, states[pad]);
                    made.insert(made.end(), more.begin(), more.end());
                }
            }
            return pad_keys(made);
        }
        case BR_FRIEND: {
            const int code = event.user.code;
            friend_press_taken(static_cast<Uint32>(code / FRIEND_NUMBERED));
            const SDL_Event made = key(Press{1, static_cast<Game::Button>(code & 3),
                                             (code & FRIEND_DOWN) != 0, Press::From::FRIEND});
            return made.type != 0 ? std::vector<SDL_Event>{made} : std::vector<SDL_Event>{};
        }
        case BR_FRIEND_GONE:
            if (setup.mode == Play::Mode::HOST) {
                setup.mode = Play::Mode::TWO;  // the arrows are player 1's again
            }
            holding = false;
            return {};
        case BR_HOLD:
            if (setup.mode != Play::Mode::HOST && !setup.pads) {
                return {};
            }
            holding = event.user.code != 0;
            return holding ? let_go() : std::vector<SDL_Event>{};
        case BR_SIDE:
            return side(event.user.code);
        case BR_COMPUTER:
            if (!opponent) {
                return {event};  // another user event, as any other
            }
            alarm_at = 0;
            return think(SDL_GetTicks());
        default:
            return {event};
    }
}

std::vector<SDL_Event> Controls::shown(const Frame& frame, Uint32 now) {
    if (!opponent) {
        return {};
    }
    grid = frame.grid();
    return think(now);
}

std::vector<SDL_Event> Controls::think(Uint32 now) {
    std::vector<SDL_Event> keys;
    for (const Press& press : opponent->decide(grid, now)) {
        const SDL_Event made = key(press);
        if (made.type != 0) {
            keys.push_back(made);
        }
    }
    const Uint32 due = opponent->due();
    if (due != alarm_at) {
        alarm.remove(alarm_id);
        alarm_id = 0;
        alarm_at = due;
        if (due != 0) {
            const auto ahead = static_cast<Sint32>(due - now);
            alarm_id = alarm.add(static_cast<Uint32>(std::max<Sint32>(ahead, 1)), wake, nullptr);
        }
    }
    return keys;
}

void Controls::round_over(int code) {
    if (opponent && (code == -1 || code == 1)) {
        opponent->round_over(code);  // a round won: the splash's report teaches nothing
        computer_level(opponent->reaction());
    }
}

// On SDL's timer thread: only posts, and a full queue is no matter, as the next frame
// shows the computer the grid anyway.
Uint32 Controls::wake(Uint32 /*interval*/, void* /*param*/) {
    SDL_Event event{};
    event.user.type = BR_COMPUTER;
    SDL_PushEvent(&event);
    return 0;
}
