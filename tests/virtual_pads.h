#pragma once

#include <dlfcn.h>

// SDL2's virtual gamepads, for a program that plays over sdl12-compat (SDL 1.2 over
// SDL2). SDL2 is reached through dlopen, beside the SDL 1.2 names the program links, so
// that neither hides the other; it is the same SDL2 that sdl12-compat loaded, or will load.
// The pads must be attached before SDL starts its joysticks: SDL 1.2 counts them once.
namespace virtual_pads {

class Sdl2 {
  public:
    Sdl2() : library(dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL)) {
        if (library != nullptr) {
            attach_virtual = find<int (*)(int, int, int, int)>("SDL_JoystickAttachVirtual");
            instance_of = find<int (*)(int)>("SDL_JoystickGetDeviceInstanceID");
            from_instance = find<void* (*)(int)>("SDL_JoystickFromInstanceID");
            set_axis = find<int (*)(void*, int, short)>("SDL_JoystickSetVirtualAxis");
            set_button = find<int (*)(void*, int, unsigned char)>("SDL_JoystickSetVirtualButton");
            set_hat = find<int (*)(void*, int, unsigned char)>("SDL_JoystickSetVirtualHat");
        }
    }
    Sdl2(const Sdl2&) = delete;
    Sdl2& operator=(const Sdl2&) = delete;  // the library stays loaded: sdl12-compat shares it

    bool loaded() const { return set_hat != nullptr; }

    // A pad of SDL2's game-controller type: two sticks and two triggers (6 axes), 15
    // buttons, one hat. Its device index, or -1.
    int attach() const {
        constexpr int GAMECONTROLLER = 1;  // SDL_JOYSTICK_TYPE_GAMECONTROLLER
        return loaded() ? attach_virtual(GAMECONTROLLER, 6, 15, 1) : -1;
    }

    // Sets one control of an attached pad once the library has opened it: 'a' an axis,
    // 'b' a button, 'h' a hat. False when the pad or the control is not there.
    bool set(int pad, char control, int index, int value) const {
        if (!loaded()) {
            return false;
        }
        void* stick = from_instance(instance_of(pad));
        if (stick == nullptr) {
            return false;
        }
        switch (control) {
            case 'a':
                return set_axis(stick, index, static_cast<short>(value)) == 0;
            case 'b':
                return set_button(stick, index, static_cast<unsigned char>(value)) == 0;
            case 'h':
                return set_hat(stick, index, static_cast<unsigned char>(value)) == 0;
            default:
                return false;
        }
    }

  private:
    template <typename Function>
    Function find(const char* name) {
        return reinterpret_cast<Function>(dlsym(library, name));
    }

    void* library;
    int (*attach_virtual)(int, int, int, int) = nullptr;
    int (*instance_of)(int) = nullptr;
    void* (*from_instance)(int) = nullptr;
    int (*set_axis)(void*, int, short) = nullptr;
    int (*set_button)(void*, int, unsigned char) = nullptr;
    int (*set_hat)(void*, int, unsigned char) = nullptr;
};

}  // namespace virtual_pads
