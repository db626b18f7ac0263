#include "shell/director.h"

#include <SDL_mixer.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "framework/game.h"
#include "framework/games.h"
#include "framework/gridlayout.h"
#include "framework/renderable.h"
#include "platform/computer_level.h"
#include "platform/media.h"
#include "screens/gameover.h"
#include "screens/splash.h"
#include "shell/events.h"

namespace {

constexpr int POINTS_TO_WIN = 9;
constexpr Uint32 MEDIA = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + SDL_GetError());
}

void post(Uint8 type, int code, const char* what) {
    SDL_Event event{};
    event.user.type = type;
    event.user.code = code;
    event.user.data1 = nullptr;
    event.user.data2 = nullptr;
    if (SDL_PushEvent(&event) < 0) {
        fail(what);
    }
}

// A score column: one cell per point won, filled from the bottom, grey above.
void draw_score(SDL_Surface* surface, const GridLayout& grid, int column, int points) {
    SDL_Rect won = grid.cells(column, POINTS_TO_WIN - points, 1, points);
    SDL_FillRect(surface, &won, SDL_MapRGB(surface->format, 0, 255, 0));
    SDL_Rect open = grid.cells(column, 0, 1, POINTS_TO_WIN - points);
    SDL_FillRect(surface, &open, SDL_MapRGB(surface->format, 100, 100, 100));
}

}  // namespace

Director::Director(Opponent opponent) {
    start_media(MEDIA);
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        fail("unable to init SDL_mixer: ");
    }
    SDL_WM_SetCaption("Brelvo", nullptr);
    set_video(550, 450);
    joysticks = std::make_unique<Joysticks>(Pads::buttons_used(Joysticks::layout()));
    if (opponent == Opponent::COMPUTER) {
        computer = std::make_unique<Computer>(kept_reaction());
    }
}

Director::~Director() {
    alarm.remove_all();
    joysticks.reset();
    Mix_CloseAudio();
    SDL_Quit();
}

void Director::set_video(int width, int height) {
    screen = SDL_SetVideoMode(width, height, 0, SDL_RESIZABLE);
    if (screen == nullptr) {
        fail("unable to set video: ");
    }
}

void Director::run() {
    Games games;
    Splash splash;
    GameOver gameover;
    current = &splash;
    score0 = 0;
    score1 = 0;
    splash.run();
    render();
    SDL_Event event;
    do {
        if (!joysticks->wait(event)) {
            fail("unable to wait for event: ");
        }
    } while (dispatch(event, games, gameover));
    // Leaving: the screens cancel their timers as they go, waiting for a callback that
    // is running, so none can reach a screen after it is destroyed.
}

bool Director::dispatch(const SDL_Event& event, Games& games, GameOver& gameover) {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                return false;
            }
            input(own(event));
            return true;
        case SDL_KEYUP:
            input(own(event));
            return true;
        case SDL_QUIT:
            return false;
        case SDL_VIDEORESIZE:
            set_video(event.resize.w, event.resize.h);
            render();
            return true;
        case SDL_VIDEOEXPOSE:
        case BR_RENDER:
            render();
            return true;
        case BR_GAMEOVER:
            return end_round(event.user.code, games, gameover);
        case SDL_JOYAXISMOTION:
        case SDL_JOYBALLMOTION:
        case SDL_JOYHATMOTION:
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            input(event);
            return press(pads.input(event));
        case BR_PADS:
            return press(read_pads());
        case BR_COMPUTER:
            if (!computer) {
                input(event);  // another user event, as any other
                return true;
            }
            alarm_at = 0;
            think(SDL_GetTicks());
            return true;
        default:
            input(event);
            return true;
    }
}

bool Director::end_round(int code, Games& games, GameOver& gameover) {
    if (current == &gameover) {
        return false;  // the game-over screen's own report ends the program
    }
    if (computer && (code == -1 || code == 1)) {
        computer->round_over(code);  // a round won: the splash's report teaches nothing
        keep_reaction(computer->reaction());
    }
    if (code == -1) {
        ++score0;
    } else if (code == 1) {
        ++score1;
    }
    if (score0 < POINTS_TO_WIN && score1 < POINTS_TO_WIN) {
        current = games.get_random();
    } else {
        gameover.winner = score0 >= POINTS_TO_WIN ? -1 : 1;
        current = &gameover;
    }
    current->run();
    return true;  // the new screen asks for its first frame itself
}

bool Director::press(const std::vector<SDL_Event>& keys) {
    // In order, stopping at the first Esc (a pad's Back).
    return std::all_of(keys.begin(), keys.end(), [this](const SDL_Event& key) {
        if (key.type == SDL_KEYDOWN && key.key.keysym.sym == SDLK_ESCAPE) {
            return false;
        }
        input(own(key));
        return true;
    });
}

std::vector<SDL_Event> Director::read_pads() {
    std::vector<SDL_Event> keys;
    const auto states = joysticks->poll();
    for (int pad = 0; pad < Pads::PADS; ++pad) {
        if (joysticks->open(pad)) {
            const std::vector<SDL_Event> made = pads.update(pad, states[pad]);
            keys.insert(keys.end(), made.begin(), made.end());
        }
    }
    return keys;
}

SDL_Event Director::own(SDL_Event key) const {
    if (!computer) {
        return key;
    }
    constexpr SDLKey ARROWS[] = {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT};
    constexpr SDLKey LETTERS[] = {SDLK_w, SDLK_s, SDLK_a, SDLK_d};
    for (int way = 0; way < 4; ++way) {
        if (key.key.keysym.sym == ARROWS[way]) {
            key.key.keysym.sym = LETTERS[way];
        }
    }
    return key;
}

void Director::think(Uint32 now) {
    if (!computer) {
        return;
    }
    // Its presses as player 1's arrows, as the keys would give them.
    constexpr SDLKey ARROWS[] = {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT};
    for (const Press& press : computer->decide(shown, now)) {
        input(player_key(press.down ? SDL_KEYDOWN : SDL_KEYUP, ARROWS[press.way]));
    }
    const Uint32 due = computer->due();
    if (due == alarm_at) {
        return;
    }
    alarm.remove(alarm_id);
    alarm_id = 0;
    alarm_at = due;
    if (due != 0) {
        const auto ahead = static_cast<Sint32>(due - now);
        alarm_id = alarm.add(static_cast<Uint32>(std::max<Sint32>(ahead, 1)), wake, nullptr);
    }
}

// On SDL's timer thread: only posts, and a full queue is no matter, as the next frame
// shows the computer the grid anyway.
Uint32 Director::wake(Uint32 /*interval*/, void* /*param*/) {
    SDL_Event event{};
    event.user.type = BR_COMPUTER;
    SDL_PushEvent(&event);
    return 0;
}

void Director::input(SDL_Event event) {
    current->input(event);
}

void Director::render() {
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    const GridLayout grid(screen->w, screen->h);
    draw_score(screen, grid, -1, score0);
    draw_score(screen, grid, 9, score1);
    if (current != nullptr) {
        current->render(screen);
    }
    if (computer) {
        // The computer sees what the players see: the grid of the frame just shown.
        const auto* game = dynamic_cast<const Game*>(current);
        for (unsigned i = 0; i < shown.size(); ++i) {
            shown[i] = game != nullptr ? game->get_pixel(i % 9, i / 9) : Game::Color{0, 0, 0};
        }
        think(SDL_GetTicks());
    }
}

void Director::push_render() {
    post(BR_RENDER, 0, "unable to push render: ");
}

void Director::game_over(int code) {
    post(BR_GAMEOVER, code, "unable to push game over: ");
}
