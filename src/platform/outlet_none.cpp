#include "platform/outlet.h"

void frame_composed(const Frame& /*frame*/) {}

void computer_level(Uint32 /*reaction_ms*/) {}
