#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "web/bridge.h"

// The game's main is SDL_main here, as where SDL brings a start-up of its own: this start
// calls it and tells the page how it ended.
extern "C" int SDL_main(int argc, char* argv[]);  // NOLINT(readability-identifier-naming)

namespace {

// The desktop's runtime prints an uncaught error's message before it ends the program;
// in the browser an error leaves as a bare number, so the page is told the message.
[[noreturn]] void report_and_end() {
    std::string message = "unknown error";
    try {
        std::rethrow_exception(std::current_exception());
    } catch (const std::exception& error) {
        message = error.what();
    } catch (...) {
    }
    web_failed(message.c_str());
    emscripten_force_exit(EXIT_FAILURE);
    std::abort();  // not reached: the page's runtime has ended
}

}  // namespace

int main(int argc, char* argv[]) {
    std::set_terminate(report_and_end);
    int status = EXIT_FAILURE;
    try {
        // A friend's page joining a match played elsewhere: see guest.cpp.
        status =
            argc == 2 && std::strcmp(argv[1], "--guest") == 0 ? web_guest() : SDL_main(argc, argv);
    } catch (...) {
        std::terminate();
    }
    web_exited(status);
    emscripten_force_exit(status);
    return status;
}
