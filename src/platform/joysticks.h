#pragma once

#include <SDL.h>

#include <array>

// The players' pads as this home's media library shows them, opened at start-up: what
// each reports, and nothing of what it means to the game (the shell's Pads decide that).
// A home with no pad, or whose library cannot look for any, plays on with keys: nothing
// here fails or prints. In the browser the pads come and go as the match runs: its layer
// shows two seats, which the page's gamepads fill as they show themselves.
//
// Where the library sends no joystick events (sdl12-compat in the controller layout
// sends none), the pads are read where the event wait looks at the queue: SDL2 brings
// them up to date at each look, so a pad's press is seen as soon as a key's would be, and
// no thread has to wake to ask for it.
//
// Where the controller layout comes with events (the browser's layer), each event says
// only that the pads changed, and they are read whole: a d-pad's diagonal is two buttons
// that change at once, and a stick's two axes move together, as the polled pads do.
class Joysticks {
  public:
    // How the library numbers a pad's buttons.
    enum class Layout {
        RAW,         // as the pad itself does
        CONTROLLER,  // SDL2's game-controller layout: Back 4, d-pad up, down, left, right 11-14
    };

    // One pad's controls as they stand.
    struct State {
        Uint8 hat = SDL_HAT_CENTERED;  // the first hat
        Sint16 x = 0;                  // the left stick: axis 0, negative to the left
        Sint16 y = 0;                  // axis 1, negative up
        Uint32 buttons = 0;            // bit n: button n held, for the first 32

        bool operator==(const State& other) const {
            return hat == other.hat && x == other.x && y == other.y && buttons == other.buttons;
        }
        bool operator!=(const State& other) const { return !(*this == other); }
    };

    static constexpr int PADS = 2;  // one a player

    // `buttons`: the buttons worth reading, as bits; the others always read as let go.
    // `moved`: the user event `wait` and `look` make when the pads are to be read, as
    // whoever reads them numbers its events.
    Joysticks(Uint32 buttons, Uint8 moved);
    ~Joysticks();
    Joysticks(const Joysticks&) = delete;
    Joysticks& operator=(const Joysticks&) = delete;

    // How the library numbers the buttons; decided before the pads are opened.
    static Layout layout();
    // Whether an event is one of SDL's joystick events.
    static constexpr bool reports(Uint8 type) {
        return type == SDL_JOYAXISMOTION || type == SDL_JOYBALLMOTION || type == SDL_JOYHATMOTION ||
               type == SDL_JOYBUTTONDOWN || type == SDL_JOYBUTTONUP;
    }
    // How many pads are open: at most two, one a player.
    [[nodiscard]] int count() const;

    // Waits for the next event as SDL_WaitEvent does; false if SDL cannot wait.
    bool wait(SDL_Event& event);
    // One look at the queue, as SDL_PollEvent. Where the pads are read rather than heard,
    // an empty queue and pads that have moved since they were last read give a `moved`;
    // where they are read whole, a joystick event does.
    bool look(SDL_Event& event);
    // Whether a player's pad is open.
    [[nodiscard]] bool open(int pad) const;
    // On `moved`, on the main thread: every pad's controls as they stand now.
    std::array<State, PADS> poll();

  private:
    // Every pad's controls as they stand; the buttons only those the layout uses.
    [[nodiscard]] std::array<State, PADS> read() const;
    // A joystick event as `moved` where the pads are read whole; any other event as it is.
    void heard(SDL_Event& event) const;

    Uint32 wanted = 0;
    Uint8 moved = 0;
    std::array<SDL_Joystick*, PADS> sticks{};
    std::array<State, PADS> last{};  // as `poll` last read them
    bool read_on_look = false;       // no joystick events: the wait reads the pads
    bool read_whole = false;         // joystick events in the controller layout: read on each
};
