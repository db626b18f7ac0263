#include "platform/outlet.h"

#include "platform/web/web.h"

void frame_composed(const Frame& frame) {
    Uint8 rgb[Frame::COLUMNS * Frame::ROWS * 3];
    for (std::size_t i = 0; i < frame.cells.size(); ++i) {
        rgb[3 * i] = frame.cells[i].r;
        rgb[3 * i + 1] = frame.cells[i].g;
        rgb[3 * i + 2] = frame.cells[i].b;
    }
    web_frame(rgb);
}

void friend_press_taken(Uint32 number) {
    web_friend_press_taken(number);
}

void computer_level(Uint32 reaction_ms) {
    web_computer_level(static_cast<int>(reaction_ms));
}
