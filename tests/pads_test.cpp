#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/game.h"
#include "input.h"
#include "shell/pads.h"

namespace {

using input::axis_event;
using input::button_event;
using input::hat_event;
using Layout = Pads::Layout;

// Key events written the way a player would say them: "+d" d pressed, "-Up" the up arrow
// let go.
std::string said(const std::vector<SDL_Event>& keys) {
    std::string text;
    for (const SDL_Event& key : keys) {
        std::string name;
        switch (key.key.keysym.sym) {
            case SDLK_UP:
                name = "Up";
                break;
            case SDLK_DOWN:
                name = "Down";
                break;
            case SDLK_LEFT:
                name = "Left";
                break;
            case SDLK_RIGHT:
                name = "Right";
                break;
            case SDLK_ESCAPE:
                name = "Esc";
                break;
            default:
                name = std::string(1, static_cast<char>(key.key.keysym.sym));
        }
        const bool down = key.type == SDL_KEYDOWN && key.key.state == SDL_PRESSED;
        const bool up = key.type == SDL_KEYUP && key.key.state == SDL_RELEASED;
        text += (text.empty() ? "" : " ") + std::string(down ? "+" : up ? "-" : "?") + name;
    }
    return text;
}

// Feeds events one by one and says what each made.
std::vector<std::string> feed(Pads& pads, const std::vector<SDL_Event>& events) {
    std::vector<std::string> made;
    for (const SDL_Event& event : events) {
        made.push_back(said(pads.input(event)));
    }
    return made;
}

using Said = std::vector<std::string>;

TEST(PadMapping, TheHatPressesEachWayAsItsPlayersKey) {
    Pads pads(Layout::RAW);
    EXPECT_EQ(feed(pads, {hat_event(0, SDL_HAT_UP), hat_event(0, SDL_HAT_CENTERED),
                          hat_event(0, SDL_HAT_DOWN), hat_event(0, SDL_HAT_LEFT),
                          hat_event(0, SDL_HAT_RIGHT), hat_event(0, SDL_HAT_CENTERED)}),
              (Said{"+w", "-w", "+s", "-s +a", "-a +d", "-d"}));
    EXPECT_EQ(feed(pads, {hat_event(1, SDL_HAT_UP), hat_event(1, SDL_HAT_DOWN),
                          hat_event(1, SDL_HAT_LEFT), hat_event(1, SDL_HAT_RIGHT),
                          hat_event(1, SDL_HAT_CENTERED)}),
              (Said{"+Up", "-Up +Down", "-Down +Left", "-Left +Right", "-Right"}));
    // A third pad, a second hat, a trackball: nobody's keys.
    SDL_Event ball{};
    ball.jball.type = SDL_JOYBALLMOTION;
    EXPECT_EQ(feed(pads, {hat_event(2, SDL_HAT_UP), hat_event(0, SDL_HAT_UP, 1), ball}),
              (Said{"", "", ""}));
}

TEST(PadMapping, AHatDiagonalPressesNothingNew) {
    Pads pads(Layout::RAW);
    EXPECT_EQ(feed(pads, {hat_event(0, SDL_HAT_RIGHTUP),    // from the centre: nothing
                          hat_event(0, SDL_HAT_RIGHT),      // one way left: pressed
                          hat_event(0, SDL_HAT_RIGHTDOWN),  // held through the diagonal
                          hat_event(0, SDL_HAT_RIGHT),      // and not pressed again
                          hat_event(0, SDL_HAT_RIGHTDOWN),
                          hat_event(0, SDL_HAT_DOWN),  // the held way let go: the other
                          hat_event(0, SDL_HAT_LEFTDOWN), hat_event(0, SDL_HAT_LEFTUP),
                          hat_event(0, SDL_HAT_UP | SDL_HAT_DOWN), hat_event(0, SDL_HAT_CENTERED)}),
              (Said{"", "+d", "", "", "", "-d +s", "", "-s", "", ""}));
}

TEST(PadMapping, TheStickPressesPastSixtyAndAgainOnlyFromTheCentre) {
    Pads pads(Layout::RAW);
    EXPECT_EQ(feed(pads, {axis_event(0, 0, -19660),  // 60%: not yet
                          axis_event(0, 0, -19661),  // past it
                          axis_event(0, 0, -32768),  // further: still the one press
                          axis_event(0, 0, -8192),   // back, but not within 25%
                          axis_event(0, 0, -19661),  // out again: no second press
                          axis_event(0, 0, -8191),   // within 25%: let go
                          axis_event(0, 0, -8191), axis_event(0, 0, 8191),
                          axis_event(0, 0, -19661)}),  // a second press
              (Said{"", "+a", "", "", "", "-a", "", "", "+a"}));
    // Swung round to another way without passing the centre: no press until it comes back.
    EXPECT_EQ(feed(pads, {axis_event(0, 1, 32767), axis_event(0, 0, 0), axis_event(0, 1, 9000),
                          axis_event(0, 1, 0), axis_event(0, 1, 32767)}),
              (Said{"", "", "", "-a", "+s"}));
    // The second pad's stick, and axes that are not the left stick.
    EXPECT_EQ(feed(pads, {axis_event(1, 1, -32768), axis_event(1, 1, 0), axis_event(0, 2, 32767),
                          axis_event(0, 3, -32768), axis_event(1, 4, 32767)}),
              (Said{"+Up", "-Up", "", "", ""}));
}

TEST(PadMapping, AStickDiagonalPressesTheWayPushedFurthest) {
    Pads pads(Layout::RAW);
    const auto push = [&pads](Sint16 x, Sint16 y) {
        Pads::State state;
        state.x = x;
        state.y = y;
        const std::string pressed = said(pads.update(1, state));
        pads.update(1, Pads::State{});
        return pressed;
    };
    EXPECT_EQ(push(20000, -25000), "+Up");
    EXPECT_EQ(push(-25000, 20000), "+Left");
    EXPECT_EQ(push(-20000, 25000), "+Down");
    EXPECT_EQ(push(25000, 25000), "+Right");   // equal: across
    EXPECT_EQ(push(-23170, -23170), "+Left");  // 45 degrees at full travel: across
    EXPECT_EQ(push(19000, 19000), "");         // neither past 60%
}

TEST(PadMapping, NoButtonDoesAnythingInARawLayout) {
    Pads pads(Layout::RAW);
    for (Uint8 button = 0; button < 40; ++button) {
        EXPECT_EQ(said(pads.input(button_event(0, button, true))), "") << int{button};
        EXPECT_EQ(said(pads.input(button_event(0, button, false))), "") << int{button};
    }
}

TEST(PadMapping, TheControllerLayoutsDpadButtonsAndBack) {
    Pads pads(Layout::CONTROLLER);
    EXPECT_EQ(feed(pads, {button_event(1, 11, true), button_event(1, 11, false),
                          button_event(1, 12, true), button_event(1, 13, true),  // diagonal
                          button_event(1, 12, false), button_event(1, 14, true),
                          button_event(1, 13, false), button_event(1, 14, false)}),
              (Said{"+Up", "-Up", "+Down", "", "-Down +Left", "", "-Left +Right", "-Right"}));
    EXPECT_EQ(feed(pads, {button_event(0, 4, true), button_event(0, 4, false)}),
              (Said{"+Esc", "-Esc"}));
    // A, B, X, Y, Guide, Start, the shoulders, the sticks' clicks: nothing.
    for (const Uint8 button : {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 15, 20, 31, 32}) {
        EXPECT_EQ(said(pads.input(button_event(0, button, true))), "") << int{button};
    }
}

// The d-pad and the stick are one player's ways: held by both, the key went down once
// and goes up once both have let go.
TEST(PadMapping, TheDpadAndTheStickShareTheirPlayersKeys) {
    Pads pads(Layout::RAW);
    EXPECT_EQ(feed(pads, {hat_event(0, SDL_HAT_UP), axis_event(0, 1, -32768),
                          hat_event(0, SDL_HAT_CENTERED), axis_event(0, 1, 0),
                          axis_event(0, 0, 32767), hat_event(0, SDL_HAT_LEFT), axis_event(0, 0, 0),
                          hat_event(0, SDL_HAT_CENTERED)}),
              (Said{"+w", "", "", "-w", "+d", "+a", "-d", "-a"}));
}

// What the pads press is what the game takes from the keyboard.
TEST(PadMapping, APadsKeysAreItsPlayersOwnInTheGame) {
    class Taken : public Game {
      public:
        using Game::input;
        void run() override {}
        void input(int player, Button button) override { presses.emplace_back(player, button); }
        std::vector<std::pair<int, Button>> presses;
    } game;
    Pads pads(Layout::RAW);
    const Uint8 ways[] = {SDL_HAT_UP, SDL_HAT_DOWN, SDL_HAT_LEFT, SDL_HAT_RIGHT};
    for (Uint8 pad = 0; pad < 2; ++pad) {
        for (const Uint8 way : ways) {
            for (const SDL_Event& key : pads.input(hat_event(pad, way))) {
                game.input(key);
            }
            pads.input(hat_event(pad, SDL_HAT_CENTERED));
        }
    }
    using P = std::pair<int, Game::Button>;
    EXPECT_EQ(game.presses, (std::vector<P>{{0, Game::UP},
                                            {0, Game::DOWN},
                                            {0, Game::LEFT},
                                            {0, Game::RIGHT},
                                            {1, Game::UP},
                                            {1, Game::DOWN},
                                            {1, Game::LEFT},
                                            {1, Game::RIGHT}}));
}

}  // namespace
