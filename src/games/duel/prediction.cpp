#include "games/duel/prediction.h"

namespace {

constexpr int ME = 1;
// Presses no frame has answered for so long are not the host's any more (its match may
// have ended): only so many are kept.
constexpr std::size_t MOST_PENDING = 64;

}  // namespace

void Prediction::press(Uint32 number, Game::Button way, Uint32 at) {
    // It counts as the host's duel would count it: not inside the re-arm of the last
    // press that counted, nor into an edge.
    Bout bout{};
    const bool rearmed = !counted || at - counted_at >= Bout::REARM_MS;
    const bool counts = rearmed && ahead(bout) && !bout.blocked(ME, way);
    if (counts) {
        counted = true;
        counted_at = at;
    }
    pending.push_back(Pending{number, way, counts});
    if (pending.size() > MOST_PENDING) {
        pending.pop_front();
    }
}

void Prediction::frame(const Frame& from_host, Uint32 taken) {
    Bout before{};
    const bool foreseen = !pending.empty() && ahead(before);
    host = from_host;
    known = picture::look(host.grid(), known);
    while (!pending.empty() && pending.front().number <= taken) {
        pending.pop_front();
    }
    Bout now{};
    if (foreseen && ahead(now) && !(now.fighters[ME] == before.fighters[ME])) {
        ++corrections;
    }
}

bool Prediction::ahead(Bout& bout) const {
    // A blade off the grid is where the host last showed it, which this page may not
    // know: nothing is foreseen until it is back.
    if (!known.found || known.me.way == Bout::UNSEEN) {
        return false;
    }
    bout = known.bout();
    for (const Pending& press : pending) {
        if (!press.counts || bout.blocked(ME, press.way)) {
            continue;
        }
        Bout next = bout;
        const Bout::Outcome outcome = next.press(ME, press.way);
        if (outcome.clash || outcome.hits[0] != Bout::NOBODY) {
            break;  // what follows is the host's to show
        }
        bout = next;
    }
    return true;
}

Frame Prediction::shown() const {
    Frame out = host;
    Bout bout{};
    if (pending.empty() || !ahead(bout) || bout.fighters[ME] == known.me) {
        return out;
    }
    const auto on_frame = [&out](int x, int y, Game::Color colour) { out.set(x, y, colour); };
    picture::paint(known.me, ME, false, on_frame);
    picture::paint(bout.fighters[ME], ME, true, on_frame);
    return out;
}
