#include "platform/outlet.h"

void frame_composed(const Frame& /*frame*/) {}

void friend_press_taken(Uint32 /*number*/) {}

void computer_level(Uint32 /*reaction_ms*/) {}

void clip_loaded(const std::string& /*sound*/, const void* /*chunk*/) {}
