#include "platform/outlet.h"

#include "web/bridge.h"

void frame_composed(const Frame& frame) {
    const Frame::Bytes rgb = frame.bytes();
    web_frame(rgb.data());
}

void friend_press_taken(Uint32 number) {
    web_friend_press_taken(number);
}

void computer_level(Uint32 reaction_ms) {
    web_computer_level(static_cast<int>(reaction_ms));
}

void clip_loaded(const std::string& sound, const void* chunk) {
    web_clip_named(chunk, sound.c_str());
}
