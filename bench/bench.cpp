// Speed of the game measured against the floor that SDL 1.2 itself sets, side by side in
// one run. Run with: tools/bench.sh (see docs/performance.md).
#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "framework/embedded.h"
#include "framework/renderable.h"
#include "games/duel/computer.h"
#include "games/duel/gamejedi.h"
#include "input.h"
#include "platform/resource_lookup.h"
#include "shell/director.h"
#include "virtual_pads.h"

struct DirectorProbe {
    static void show(Director& director, SDL_Surface* screen, Renderable* current) {
        director.screen = screen;
        director.current = current;
        director.score0 = 3;
        director.score1 = 5;
    }
};

namespace {

using Clock = std::chrono::steady_clock;

// Every SDL_Flip the game makes goes through here (the bench links with --wrap=SDL_Flip),
// so a frame's end can be timed, and the start-up run can stop at its first frame.
std::atomic<long> flips{0};
std::atomic<Clock::rep> last_flip{0};
std::atomic<bool> quit_on_flip{false};

}  // namespace

extern "C" int __real_SDL_Flip(SDL_Surface* screen);
extern "C" int __wrap_SDL_Flip(SDL_Surface* screen) {
    const int result = __real_SDL_Flip(screen);
    if (screen != SDL_GetVideoSurface()) {
        return result;  // the players' frame at one pixel a cell: the window is not shown yet
    }
    last_flip = Clock::now().time_since_epoch().count();
    ++flips;
    if (quit_on_flip.exchange(false)) {
        input::quit();
    }
    return result;
}

namespace {

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// --- Frame composition ----------------------------------------------------------------

SDL_Surface* software_surface(int w, int h) {
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xff0000, 0x00ff00, 0x0000ff, 0);
}

// The fills a frame is made of, with no game code around them: the whole-surface clear,
// the two score columns, then the 81 cells column by column, as the game draws them.
void fills_only(SDL_Surface* surface) {
    const int s = std::min(surface->w / 11, surface->h / 9);
    const int x0 = (surface->w - 9 * s) / 2;
    const int y0 = (surface->h - 9 * s) / 2;
    const auto fill = [&](int x, int y, int w, int h, Uint32 colour) {
        SDL_Rect r{static_cast<Sint16>(x), static_cast<Sint16>(y), static_cast<Uint16>(w),
                   static_cast<Uint16>(h)};
        SDL_FillRect(surface, &r, colour);
    };
    SDL_FillRect(surface, nullptr, 0);
    fill(x0 - s, y0 + 6 * s, s, 3 * s, 1);
    fill(x0 - s, y0, s, 6 * s, 2);
    fill(x0 + 9 * s, y0 + 4 * s, s, 5 * s, 1);
    fill(x0 + 9 * s, y0, s, 4 * s, 2);
    for (int x = 0; x < 9; ++x) {
        for (int y = 0; y < 9; ++y) {
            fill(x0 + x * s, y0 + y * s, s, s, 3);
        }
    }
}

void BM_Frame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    Director director;
    GameJedi duel;
    duel.run();
    SDL_Surface* surface = software_surface(w, h);
    DirectorProbe::show(director, surface, &duel);
    for (auto _ : state) {
        director.render();
        benchmark::ClobberMemory();
    }
    // Side by side, interleaved so that all three see the same machine: one clear of
    // the whole surface (the goal's floor), the bare fills of a frame, and the frame.
    const auto time_ms = [](int reps, const std::function<void()>& work) {
        const auto start = Clock::now();
        for (int i = 0; i < reps; ++i) {
            work();
            benchmark::ClobberMemory();
        }
        return ms_since(start) / reps;
    };
    std::vector<double> clear;
    std::vector<double> fills;
    std::vector<double> frame;
    const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
    for (int round = 0; round < 15; ++round) {
        clear.push_back(time_ms(20, [&] { SDL_FillRect(surface, nullptr, black); }));
        frame.push_back(time_ms(20, [&] { director.render(); }));
        fills.push_back(time_ms(20, [&] { fills_only(surface); }));
    }
    const double clear_ms = percentile(clear, 0.5);
    const double fills_ms = percentile(fills, 0.5);
    const double frame_ms = percentile(frame, 0.5);
    state.counters["clear_ms"] = clear_ms;
    state.counters["fills_ms"] = fills_ms;
    state.counters["frame_ms"] = frame_ms;
    state.counters["frame_per_clear"] = frame_ms / clear_ms;
    state.counters["frame_per_fills"] = frame_ms / fills_ms;
    SDL_FreeSurface(surface);
}
BENCHMARK(BM_Frame)
    ->Args({550, 450})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMicrosecond);

// --- Key to frame ---------------------------------------------------------------------

// Presses that only ever turn blades, alternating players, each player's presses at least
// 60 ms apart: every one is taken and draws exactly one frame. `press` makes player p's
// press up (way 0) or down (way 1).
std::vector<double> time_presses(int presses, unsigned seed,
                                 const std::function<void(int, int)>& press) {
    std::mt19937 rng(seed);
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + rng() % 40));
        const long before = flips;
        const auto posted = Clock::now();
        press(i % 2, (i / 2) % 2);
        while (flips == before) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const auto flipped = Clock::time_point(Clock::duration(last_flip.load()));
        latencies.push_back(std::chrono::duration<double, std::milli>(flipped - posted).count());
    }
    return latencies;
}

std::vector<double> time_presses(int presses, unsigned seed) {
    return time_presses(presses, seed, [](int player, int way) {
        const SDLKey keys[2][2] = {{SDLK_w, SDLK_s}, {SDLK_UP, SDLK_DOWN}};
        input::press(keys[player][way]);
    });
}

void BM_KeyToFrame(benchmark::State& state) {
    const int presses = static_cast<int>(state.range(0));
    for (auto _ : state) {
        // The game: a whole Director, its splash first, then a round.
        std::vector<double> game;
        {
            Director director;
            std::thread player([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2800));
                game = time_presses(presses, 1);
                input::quit();
            });
            director.run();
            player.join();
        }
        // The floor: SDL_WaitEvent and a flip for every key, nothing else.
        std::vector<double> floor;
        {
            SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO);
            SDL_Surface* screen = SDL_SetVideoMode(550, 450, 0, SDL_RESIZABLE);
            std::thread player([&] {
                floor = time_presses(presses, 1);
                input::quit();
            });
            SDL_Event event;
            while (SDL_WaitEvent(&event) != 0 && event.type != SDL_QUIT) {
                if (event.type == SDL_KEYDOWN) {
                    SDL_FillRect(screen, nullptr, 0);
                    __wrap_SDL_Flip(screen);
                }
            }
            player.join();
            SDL_Quit();
        }
        state.counters["p50_ms"] = percentile(game, 0.50);
        state.counters["p99_ms"] = percentile(game, 0.99);
        state.counters["floor_p50_ms"] = percentile(floor, 0.50);
        state.counters["floor_p99_ms"] = percentile(floor, 0.99);
    }
}
BENCHMARK(BM_KeyToFrame)->Arg(400)->Iterations(1)->Unit(benchmark::kSecond);

// --- Pad to frame ----------------------------------------------------------------------

// Over sdl12-compat only (tools/bench.sh runs these over Debian's libsdl1.2-compat on
// Debian 12): SDL2's virtual pads, attached before the Director starts SDL, pressed from
// another thread. Returns false, having said why, where they cannot be had.
bool attach_pads(benchmark::State& state, const virtual_pads::Sdl2& sdl2, bool controllers) {
    if (SDL_Linked_Version()->patch < 50) {
        state.SkipWithError("needs sdl12-compat: tools/bench.sh runs this over it");
        return false;
    }
    setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);  // the dummy window has no focus
    setenv("SDL12COMPAT_USE_GAME_CONTROLLERS", controllers ? "1" : "0", 1);
    if (sdl2.attach() < 0 || sdl2.attach() < 0) {
        state.SkipWithError("SDL2's virtual pads could not be attached");
        return false;
    }
    return true;
}

// A pad's press to the frame that shows it: the d-pad up or down, the hat in the raw
// layout (joystick events), its buttons in the controller layout (read by polling).
void BM_PadToFrame(benchmark::State& state) {
    const int presses = static_cast<int>(state.range(0));
    const bool controllers = state.range(1) != 0;
    for (auto _ : state) {
        const virtual_pads::Sdl2 sdl2;
        if (!attach_pads(state, sdl2, controllers)) {
            break;
        }
        std::vector<double> game;
        {
            Director director;
            std::thread player([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2800));
                game = time_presses(presses, 1, [&sdl2, controllers](int pad, int way) {
                    if (controllers) {
                        sdl2.set(pad, 'b', 12 - way, 0);  // the other way let go first
                        sdl2.set(pad, 'b', 11 + way, 1);
                    } else {
                        sdl2.set(pad, 'h', 0, way == 0 ? SDL_HAT_UP : SDL_HAT_DOWN);
                    }
                });
                input::quit();
            });
            director.run();
            player.join();
        }
        state.counters["p50_ms"] = percentile(game, 0.50);
        state.counters["p99_ms"] = percentile(game, 0.99);
        state.counters["max_ms"] = percentile(game, 1.0);
    }
}
BENCHMARK(BM_PadToFrame)->Args({400, 0})->Args({400, 1})->Iterations(1)->Unit(benchmark::kSecond);

// --- Start-up to the first frame ------------------------------------------------------

// From nothing to the game's first frame; the flip of that frame asks the game to quit,
// so nothing but the game runs while it starts.
double game_start_ms() {
    const auto start = Clock::now();
    quit_on_flip = true;
    {
        Director director;
        director.run();
    }
    return std::chrono::duration<double, std::milli>(
               Clock::time_point(Clock::duration(last_flip.load())) - start)
        .count();
}

// The same library calls and the same 13 decodes, with nothing of the game around them.
std::vector<Mix_Chunk*> decode_all_clips() {
    std::vector<Mix_Chunk*> clips;
    for (std::size_t i = 0; i < embedded::block_count; ++i) {
        const embedded::Block& b = embedded::blocks[i];
        clips.push_back(Mix_LoadWAV_RW(SDL_RWFromConstMem(b.bytes, static_cast<int>(b.size)), 1));
    }
    return clips;
}

std::size_t idle_index() {
    const auto* idle = static_cast<const embedded::Block*>(
        platform::find_resource("GAMEJEDI_SOUND_IDLE", "SOUND"));
    return static_cast<std::size_t>(idle - embedded::blocks);
}

double floor_start_ms() {
    const auto start = Clock::now();
    SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO);
    Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024);
    std::vector<Mix_Chunk*> clips = decode_all_clips();
    SDL_WM_SetCaption("Brelvo", nullptr);
    SDL_Surface* screen = SDL_SetVideoMode(550, 450, 0, SDL_RESIZABLE);
    SDL_FillRect(screen, nullptr, 0);
    __real_SDL_Flip(screen);
    const double first = ms_since(start);
    for (Mix_Chunk* c : clips) {
        Mix_FreeChunk(c);
    }
    Mix_CloseAudio();
    SDL_Quit();
    return first;
}

void BM_StartUp(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<double> game;
        std::vector<double> floor;
        game_start_ms();  // warm both up: the first start pays for loading the libraries
        floor_start_ms();
        for (int i = 0; i < state.range(0); ++i) {
            // Alternate who goes first: the allocator's state after one run favours
            // or penalises the next.
            if (i % 2 == 0) {
                game.push_back(game_start_ms());
                floor.push_back(floor_start_ms());
            } else {
                floor.push_back(floor_start_ms());
                game.push_back(game_start_ms());
            }
        }
        // Decoding dominates and is bimodal on this machine (about 12 or 17 ms, whoever
        // runs), so the fastest start of each is shown beside the median.
        state.counters["game_ms"] = percentile(game, 0.5);
        state.counters["floor_ms"] = percentile(floor, 0.5);
        state.counters["game_per_floor"] = percentile(game, 0.5) / percentile(floor, 0.5);
        state.counters["game_min_ms"] = percentile(game, 0);
        state.counters["floor_min_ms"] = percentile(floor, 0);
        state.counters["min_game_per_floor"] = percentile(game, 0) / percentile(floor, 0);
    }
}
BENCHMARK(BM_StartUp)->Arg(40)->Iterations(1)->Unit(benchmark::kSecond);

// --- CPU while a round waits for keys -------------------------------------------------

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU used per second of wall time from `settle_ms` on, for `window_ms`, then quits.
double measure_idle(int settle_ms, int window_ms, const std::function<void()>& run) {
    double share = 0;
    std::thread meter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
        const double cpu = cpu_seconds();
        const auto wall = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(window_ms));
        share = (cpu_seconds() - cpu) / (ms_since(wall) / 1000);
        input::quit();
    });
    run();
    meter.join();
    return share;
}

// The floor: the same libraries, the hum looping, a window, waiting; with `pads`, SDL's
// joysticks open too, whose own cost is then the library's.
void floor_round(bool pads) {
    SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | (pads ? SDL_INIT_JOYSTICK : 0));
    for (int i = 0; pads && i < SDL_NumJoysticks(); ++i) {
        SDL_JoystickOpen(i);
    }
    Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024);
    std::vector<Mix_Chunk*> clips = decode_all_clips();
    Mix_Chunk* idle = clips[idle_index()];
    Mix_VolumeChunk(idle, 38);
    Mix_PlayChannelTimed(0, idle, -1, -1);
    SDL_Surface* screen = SDL_SetVideoMode(550, 450, 0, SDL_RESIZABLE);
    SDL_FillRect(screen, nullptr, 0);
    __real_SDL_Flip(screen);
    SDL_Event event;
    while (SDL_WaitEvent(&event) != 0 && event.type != SDL_QUIT) {
    }
    Mix_HaltChannel(-1);
    for (Mix_Chunk* c : clips) {
        Mix_FreeChunk(c);
    }
    Mix_CloseAudio();
    SDL_Quit();
}

void BM_IdleCpu(benchmark::State& state) {
    const int window_ms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> game;
        std::vector<double> floor;
        for (int i = 0; i < 3; ++i) {
            // The game: splash, then a round nobody plays, with its hum.
            game.push_back(measure_idle(4500, window_ms, [] {
                Director director;
                director.run();
            }));
            floor.push_back(measure_idle(500, window_ms, [] { floor_round(false); }));
        }
        state.counters["game_cpu_pct"] = 100 * percentile(game, 0.5);
        state.counters["floor_cpu_pct"] = 100 * percentile(floor, 0.5);
        state.counters["game_per_floor"] = percentile(game, 0.5) / percentile(floor, 0.5);
    }
}
BENCHMARK(BM_IdleCpu)->Arg(5000)->Iterations(1)->Unit(benchmark::kSecond);

// The same round with two pads at rest (over sdl12-compat only): in the raw layout (0),
// where they send events, and in the controller layout (1), where the game reads them
// every few milliseconds. Against the same floor with the pads open in SDL
// (`pads_floor_*`: SDL2 itself updates open pads at every look at the queue) and without.
void BM_IdleCpuPads(benchmark::State& state) {
    const int window_ms = static_cast<int>(state.range(0));
    const bool controllers = state.range(1) != 0;
    for (auto _ : state) {
        std::vector<double> game;
        std::vector<double> floor;
        std::vector<double> pads_floor;
        for (int i = 0; i < 3; ++i) {
            const virtual_pads::Sdl2 sdl2;
            if (!attach_pads(state, sdl2, controllers)) {
                return;
            }
            game.push_back(measure_idle(4500, window_ms, [] {
                Director director;
                director.run();
            }));
            if (!attach_pads(state, sdl2, controllers)) {
                return;
            }
            pads_floor.push_back(measure_idle(500, window_ms, [] { floor_round(true); }));
            floor.push_back(measure_idle(500, window_ms, [] { floor_round(false); }));
        }
        state.counters["game_cpu_pct"] = 100 * percentile(game, 0.5);
        state.counters["floor_cpu_pct"] = 100 * percentile(floor, 0.5);
        state.counters["pads_floor_cpu_pct"] = 100 * percentile(pads_floor, 0.5);
        state.counters["game_per_floor"] = percentile(game, 0.5) / percentile(floor, 0.5);
        state.counters["game_per_pads_floor"] = percentile(game, 0.5) / percentile(pads_floor, 0.5);
    }
}
BENCHMARK(BM_IdleCpuPads)
    ->Args({5000, 0})
    ->Args({5000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// --- The computer opponent --------------------------------------------------------------

// One decision: the frame it acts on read off the grid, and the choice among its presses
// with the foe's answers to each. Every call here acts (the frame before is a reaction
// old), over the positions of a round's approach, clash and flank.
void BM_ComputerDecision(benchmark::State& state) {
    const char* const rounds[][9] = {
        {".........", ".........", ".........", ".........", ".WR...BW.", ".........", ".........",
         ".........", "........."},
        {".........", ".........", ".........", ".........", "...WRBW..", ".........", ".........",
         ".........", "........."},
        {".........", ".........", ".........", "....B....", "..RWW....", ".........", ".........",
         ".........", "........."},
        {".........", "......B..", "......W..", ".........", "..RW.....", ".........", ".........",
         ".........", "........."},
    };
    std::vector<Computer::Cells> grids;
    for (const auto& rows : rounds) {
        Computer::Cells cells{};
        for (int i = 0; i < 81; ++i) {
            const char c = rows[i / 9][i % 9];
            cells[static_cast<std::size_t>(i)] = c == 'W'   ? Game::Color{255, 255, 255}
                                                 : c == 'R' ? Game::Color{255, 0, 0}
                                                 : c == 'B' ? Game::Color{0, 0, 255}
                                                            : Game::Color{0, 0, 0};
        }
        grids.push_back(cells);
    }
    Computer computer(Computer::FASTEST_MS);
    Uint32 now = 1000;
    std::size_t next = 0;
    long presses = 0;
    for (auto _ : state) {
        now += Computer::FASTEST_MS;
        presses += static_cast<long>(computer.decide(grids[next++ % grids.size()], now).size());
    }
    state.counters["presses_per_call"] =
        static_cast<double>(presses) / 2 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ComputerDecision)->Unit(benchmark::kMicrosecond);

// A match against the computer, against the same match with player 1's arrows pressed by
// a script at the computer's own pace: the difference is what the computer costs. The
// player presses nothing in both; each runs for the window after the splash.
void BM_ComputerMatchCpu(benchmark::State& state) {
    const int window_ms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> alone;
        std::vector<double> scripted;
        long alone_frames = 0;
        long scripted_frames = 0;
        for (int i = 0; i < 3; ++i) {
            std::srand(7);
            long before = flips;
            alone.push_back(measure_idle(2500, window_ms, [] {
                Director director(Play{Play::Mode::ALONE, 0});
                director.run();
            }));
            alone_frames += flips - before;
            // Player 1 walks left at the computer's slowest pace: steps, a clash, a turn
            // and a hit each round, as the computer's rounds against no one go.
            std::srand(7);
            before = flips;
            std::atomic<bool> over{false};
            std::thread script([&over] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                while (!over) {
                    input::press(SDLK_LEFT);
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(Computer::SLOWEST_MS - Computer::PRESS_GAP_MS));
                }
            });
            scripted.push_back(measure_idle(2500, window_ms, [] {
                Director director;
                director.run();
            }));
            over = true;
            script.join();
            scripted_frames += flips - before;
        }
        state.counters["computer_match_cpu_pct"] = 100 * percentile(alone, 0.5);
        state.counters["scripted_match_cpu_pct"] = 100 * percentile(scripted, 0.5);
        state.counters["computer_share_pct"] =
            100 * (percentile(alone, 0.5) - percentile(scripted, 0.5));
        state.counters["computer_frames"] = static_cast<double>(alone_frames) / 3;
        state.counters["scripted_frames"] = static_cast<double>(scripted_frames) / 3;
    }
}
BENCHMARK(BM_ComputerMatchCpu)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // Headless unless told otherwise: the dummy drivers keep the numbers about the game.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
