#include "framework/timers.h"

#include <iterator>
#include <map>
#include <mutex>

namespace {

struct Entry {
    const Timers* owner;
    SDL_TimerID sdl;
    SDL_NewTimerCallback callback;
    void* param;
};

// Shared by every set: callbacks all run on SDL's one timer thread anyway, and a single
// lock lets a callback start or remove timers of other sets without lock-order worries.
// Recursive because callbacks add and remove timers themselves.
std::recursive_mutex& registry_lock() {
    static std::recursive_mutex lock;
    return lock;
}

std::map<Timers::Id, Entry>& registry() {
    static std::map<Timers::Id, Entry> entries;
    return entries;
}

Timers::Id next_id = 0;

// SDL hands each callback one pointer; ours carries the timer's number, not an address,
// so a late call can never reach freed memory.
void* as_key(Timers::Id id) {
    return reinterpret_cast<void*>(  // NOLINT(performance-no-int-to-ptr)
        static_cast<std::uintptr_t>(id));
}

}  // namespace

Timers::~Timers() {
    remove_all();
}

Timers::Id Timers::add(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    const std::lock_guard<std::recursive_mutex> guard(registry_lock());
    const Id id = ++next_id;
    // The entry is complete before the callback can look for it: dispatch takes the lock.
    SDL_TimerID sdl = SDL_AddTimer(interval, dispatch, as_key(id));
    if (sdl == nullptr) {
        return 0;
    }
    registry().emplace(id, Entry{this, sdl, callback, param});
    return id;
}

void Timers::remove(Id id) {
    const std::lock_guard<std::recursive_mutex> guard(registry_lock());
    const auto found = registry().find(id);
    if (found != registry().end() && found->second.owner == this) {
        SDL_RemoveTimer(found->second.sdl);
        registry().erase(found);
    }
}

void Timers::remove_all() {
    const std::lock_guard<std::recursive_mutex> guard(registry_lock());
    auto& entries = registry();
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->second.owner == this) {
            SDL_RemoveTimer(it->second.sdl);
            it = entries.erase(it);
        } else {
            it = std::next(it);
        }
    }
}

std::size_t Timers::pending() const {
    const std::lock_guard<std::recursive_mutex> guard(registry_lock());
    std::size_t count = 0;
    for (const auto& [id, entry] : registry()) {
        count += entry.owner == this ? 1 : 0;
    }
    return count;
}

// noexcept: an error raised by a callback (a full event queue, say) cannot be handed to
// anyone on this thread, so it ends the program with its message, as on the main thread.
Uint32 Timers::dispatch(Uint32 interval, void* key) noexcept {
    const std::lock_guard<std::recursive_mutex> guard(registry_lock());
    const Id id = reinterpret_cast<std::uintptr_t>(key);
    auto found = registry().find(id);
    if (found == registry().end()) {
        return 0;  // removed while SDL was about to call it
    }
    const Entry entry = found->second;
    const Uint32 next = entry.callback(interval, entry.param);
    if (next == 0) {
        // The callback may have removed its own timer already; look again.
        found = registry().find(id);
        if (found != registry().end()) {
            SDL_RemoveTimer(entry.sdl);
            registry().erase(found);
        }
    }
    return next;
}
