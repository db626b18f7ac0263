// The browser's mixer, run by node with the page's side played by this file: a clip's
// load reads only its headers and fails as SDL_mixer's does, its samples come later, one
// clip at a time in the order they were loaded or when it is first played, and they are
// the decoder's own, as the page played them when it decoded every clip at load.
#include <SDL_mixer.h>
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include "framework/embedded.h"
#include "platform/web/web.h"

extern "C" int brelvo_web_decode();

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    }
}

// What the page was asked to do, in order.
struct Call {
    std::string what;  // "clip", "samples", "play", "forget"
    const void* chunk;
    std::vector<Sint16> frames;
    int rate;
};
std::vector<Call> calls;

// The clip each channel of the page sounds, or null: a clip plays on until it is halted,
// replaced, freed or ends.
std::vector<const void*> sounding(MIX_CHANNELS);
int played_on = -1;       // the channel of the last clip the page was asked to play
std::vector<int> halted;  // each channel the page was asked to halt, in order

std::vector<Call> taken() {
    std::vector<Call> all;
    all.swap(calls);
    return all;
}

const embedded::Block& block(const char* name) {
    for (std::size_t i = 0; i < embedded::block_count; ++i) {
        if (std::strcmp(embedded::blocks[i].name, name) == 0) {
            return embedded::blocks[i];
        }
    }
    std::printf("no block %s\n", name);
    std::exit(2);
}

Mix_Chunk* load(const unsigned char* bytes, std::size_t size) {
    return Mix_LoadWAV_RW(SDL_RWFromConstMem(bytes, static_cast<int>(size)), 1);
}

Mix_Chunk* load(const char* name) {
    const embedded::Block& clip = block(name);
    return load(clip.bytes, clip.size);
}

// A clip as the decoder gives it, in the device's format: stereo, both sides alike.
std::vector<Sint16> decoded(const char* name) {
    const embedded::Block& clip = block(name);
    int channels = 0;
    int rate = 0;
    short* samples = nullptr;
    const int frames = stb_vorbis_decode_memory(clip.bytes, static_cast<int>(clip.size), &channels,
                                                &rate, &samples);
    std::vector<Sint16> stereo;
    for (int i = 0; i < frames; ++i) {
        stereo.push_back(samples[i * channels]);
        stereo.push_back(samples[i * channels]);
    }
    std::free(samples);
    return stereo;
}

void loading_reads_only_the_headers() {
    const char* names[] = {"GAMEJEDI_SOUND_STRIKE0", "GAMEJEDI_SOUND_IDLE", "GAMEJEDI_SOUND_ON"};
    std::vector<Mix_Chunk*> chunks;
    for (const char* name : names) {
        chunks.push_back(load(name));
        check(chunks.back() != nullptr, std::string("loading ") + name + ": " + SDL_GetError());
    }
    auto seen = taken();
    check(seen.size() == 3 && seen[0].what == "clip" && seen[2].chunk == chunks[2],
          "the page is told of each clip as it loads, and of nothing more");
    check(chunks[0]->abuf == nullptr && chunks[0]->alen == 0, "a clip decoded at load");

    // The page's idle moments: one clip each, in the order they were loaded.
    for (int left = 2; left >= 0; --left) {
        check(brelvo_web_decode() == left, "clips still waiting: " + std::to_string(left));
        seen = taken();
        const std::size_t n = 2 - static_cast<std::size_t>(left);
        check(seen.size() == 1 && seen[0].what == "samples" && seen[0].chunk == chunks[n],
              std::string("decoded in turn: ") + names[n]);
        if (seen.size() == 1) {
            check(seen[0].frames == decoded(names[n]) && seen[0].rate == 22050,
                  std::string("the decoder's own samples, stereo at 22050 Hz: ") + names[n]);
            check(chunks[n]->alen == seen[0].frames.size() * 2 &&
                      std::memcmp(chunks[n]->abuf, seen[0].frames.data(), chunks[n]->alen) == 0,
                  std::string("the chunk holds them too: ") + names[n]);
        }
    }
    check(brelvo_web_decode() == 0 && taken().empty(), "nothing left to decode");
    check(chunks[1]->alen == 44545 * 4, "the hum decoded whole");

    // Played again, nothing is decoded again.
    Mix_PlayChannelTimed(0, chunks[1], -1, -1);
    seen = taken();
    check(seen.size() == 1 && seen[0].what == "play", "a decoded clip decoded again");
    for (Mix_Chunk* chunk : chunks) {
        Mix_FreeChunk(chunk);
    }
    taken();
}

void a_clip_played_before_its_turn_is_decoded_then() {
    Mix_Chunk* first = load("GAMEJEDI_SOUND_SWING0");
    Mix_Chunk* second = load("GAMEJEDI_SOUND_SWING1");
    Mix_Chunk* third = load("GAMEJEDI_SOUND_SWING2");
    taken();
    check(Mix_PlayChannelTimed(-1, third, 0, -1) == 0, "the third clip takes channel 0");
    auto seen = taken();
    check(seen.size() == 2 && seen[0].what == "samples" && seen[0].chunk == third &&
              seen[1].what == "play" && seen[0].frames == decoded("GAMEJEDI_SOUND_SWING2"),
          "a clip played before its turn is decoded, then played");
    // A clip freed while it waits is never decoded.
    Mix_FreeChunk(first);
    taken();
    check(brelvo_web_decode() == 0, "what is left to decode: the second clip only");
    seen = taken();
    check(seen.size() == 1 && seen[0].chunk == second, "the second clip decoded in turn");
    Mix_FreeChunk(second);
    Mix_FreeChunk(third);
    taken();
}

void what_is_not_ogg_vorbis_fails_at_load() {
    const embedded::Block& clip = block("GAMEJEDI_SOUND_STRIKE1");
    std::vector<unsigned char> bytes(clip.bytes, clip.bytes + clip.size);
    const auto fails = [](std::vector<unsigned char> broken, const std::string& what) {
        SDL_SetError("none");
        Mix_Chunk* chunk = load(broken.data(), broken.size());
        check(chunk == nullptr && std::string(SDL_GetError()) == "Unrecognized sound file type",
              what + " loaded, or failed otherwise: " + SDL_GetError());
        Mix_FreeChunk(chunk);
    };
    const unsigned char wave[] = "RIFF\x24\0\0\0WAVEfmt ";
    fails(std::vector<unsigned char>(wave, wave + sizeof wave), "a WAV file");
    fails(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4), "the Ogg mark alone");
    fails(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 40), "a clip cut short");
    // The first packet's header: "\x01vorbis" after the page header of 27 bytes and one
    // segment size, then the version, channels and rate.
    check(bytes[26] == 1 && bytes[28] == 1 && bytes[39] == 1, "the clip is not as assumed");
    auto changed = [&bytes](std::size_t at, unsigned char value) {
        auto copy = bytes;
        copy[at] = value;
        return copy;
    };
    fails(changed(0, 'P'), "a stream that is not Ogg");
    fails(changed(28, 0x7F), "an Ogg stream of another codec");
    fails(changed(33, 'X'), "an Ogg stream of another codec");
    fails(changed(35, 1), "an unknown Vorbis version");
    fails(changed(39, 0), "a stream of no channels");
    check(taken().empty(), "the page was told of a clip that failed");
    Mix_Chunk* whole = load(bytes.data(), bytes.size());
    check(whole != nullptr, "the clip itself did not load");
    Mix_FreeChunk(whole);
    taken();
}

// What the game counts on when it plays over the hum and the start sounds: -1 takes the
// first channel that is silent, whatever ended or was halted before it; a named channel
// plays there whatever it still plays; with every channel busy a clip is not played.
void channels_are_taken_in_order() {
    Mix_Chunk* clip = load("GAMEJEDI_SOUND_STRIKE0");
    halted.clear();
    for (int channel = 0; channel < 3; ++channel) {
        check(Mix_PlayChannelTimed(-1, clip, 0, -1) == channel && played_on == channel,
              "a clip on the first free channel: " + std::to_string(channel));
    }
    sounding[1] = nullptr;  // its clip ended
    check(Mix_PlayChannelTimed(-1, clip, 0, -1) == 1, "a channel whose clip ended stays taken");
    Mix_HaltChannel(0);
    check(halted == std::vector<int>{0} && Mix_PlayChannelTimed(-1, clip, 0, -1) == 0,
          "a halted channel stays taken");
    check(Mix_PlayChannelTimed(2, clip, 0, -1) == 2 && played_on == 2,
          "a clip on a named channel that still plays is not played there");
    for (int channel = 3; channel < MIX_CHANNELS; ++channel) {
        check(Mix_PlayChannelTimed(-1, clip, 0, -1) == channel, "the channels fill in order");
    }
    taken();
    check(Mix_PlayChannelTimed(-1, clip, 0, -1) == -1 &&
              std::string(SDL_GetError()) == "No free channels available" && taken().empty(),
          "a clip played with every channel busy");
    halted.clear();
    Mix_HaltChannel(-1);
    check(halted == std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}, "halting all halts each channel");
    halted.clear();
    check(Mix_AllocateChannels(4) == 4 && halted == std::vector<int>{4, 5, 6, 7},
          "the channels given up are halted");
    check(Mix_PlayChannelTimed(4, clip, 0, -1) == -1 &&
              std::string(SDL_GetError()) == "Invalid channel",
          "a clip played on a channel given up");
    Mix_AllocateChannels(MIX_CHANNELS);
    Mix_FreeChunk(clip);
    taken();
}

}  // namespace

// The page's side of the layer, as this test plays it.
extern "C" {
void web_listen() {}
void web_unlisten() {}
void web_wait() {}
void web_wake() {}
int web_canvas(int, int) {
    return 1;
}
void web_present(const void*, int, int) {}
void web_set_title(const char*) {}
int web_audio_open(char*, int) {
    return 0;
}
void web_audio_close() {}
void web_audio_clip(const void* chunk) {
    calls.push_back({"clip", chunk, {}, 0});
}
void web_audio_samples(const void* chunk, const Sint16* frames, int count, int rate) {
    calls.push_back({"samples", chunk, std::vector<Sint16>(frames, frames + count * 2), rate});
}
void web_audio_forget(const void* chunk) {
    calls.push_back({"forget", chunk, {}, 0});
    std::replace(sounding.begin(), sounding.end(), chunk, static_cast<const void*>(nullptr));
}
void web_audio_play(int channel, const void* chunk, int, int, int) {
    calls.push_back({"play", chunk, {}, 0});
    played_on = channel;
    sounding.at(static_cast<std::size_t>(channel)) = chunk;
}
void web_audio_halt(int channel) {
    halted.push_back(channel);
    sounding.at(static_cast<std::size_t>(channel)) = nullptr;
}
int web_audio_playing(int channel) {
    return sounding.at(static_cast<std::size_t>(channel)) != nullptr ? 1 : 0;
}
void web_audio_volume(const void*, int) {}
void web_exited(int) {}
void web_failed(const char*) {}
}

namespace web {
void start_joysticks() {}
void stop_events() {}
void stop_joysticks() {}
void stop_timers() {}
void stop_video() {}
}  // namespace web

int main() {
    SDL_Init(SDL_INIT_AUDIO);
    check(load("GAMEJEDI_SOUND_ON") == nullptr &&
              std::string(SDL_GetError()) == "Audio device hasn't been opened",
          "a clip loaded before the device was opened");
    check(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) == 0, "the device did not open");
    loading_reads_only_the_headers();
    a_clip_played_before_its_turn_is_decoded_then();
    what_is_not_ogg_vorbis_fails_at_load();
    channels_are_taken_in_order();
    Mix_CloseAudio();
    std::printf("mixer: %s\n", failures == 0 ? "all checks passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
