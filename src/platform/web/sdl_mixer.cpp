#include <SDL_mixer.h>
#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/web/web.h"

// The decoder is built on its own (vorbis.c).
#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

namespace {

// As SDL_mixer: eight channels unless a program asks for more.
int channel_count = MIX_CHANNELS;
bool opened = false;
int device_rate = MIX_DEFAULT_FREQUENCY;
int device_channels = 2;

std::vector<Uint8> read_all(SDL_RWops* source) {
    std::vector<Uint8> bytes;
    Uint8 block[4096];
    int n = 0;
    while ((n = SDL_RWread(source, block, 1, sizeof block)) > 0) {
        bytes.insert(bytes.end(), block, block + n);
    }
    return bytes;
}

// The clip in the device's format, as SDL_mixer converts it on loading: 16-bit samples,
// the device's channels and rate (nearest sample where the rates differ).
std::vector<Sint16> convert(const short* samples, int frames, int channels, int rate) {
    const auto out_frames = static_cast<int>(static_cast<long long>(frames) * device_rate / rate);
    std::vector<Sint16> out(static_cast<std::size_t>(out_frames) * device_channels);
    for (int f = 0; f < out_frames; ++f) {
        const auto from = static_cast<int>(static_cast<long long>(f) * rate / device_rate);
        for (int c = 0; c < device_channels; ++c) {
            out[static_cast<std::size_t>(f) * device_channels + c] =
                samples[from * channels + (c < channels ? c : channels - 1)];
        }
    }
    return out;
}

// A clip loaded but not decoded yet, with its Ogg Vorbis bytes. Loading a clip reads only
// its headers: decoding all thirteen takes longer than the rest of the start put
// together, and the splash plays none of them. The page decodes them one at a time once
// the splash is up (brelvo_web_decode); a clip played before its turn is decoded then.
struct Waiting {
    Mix_Chunk* chunk;
    std::vector<Uint8> bytes;
};

std::vector<Waiting>& waiting() {  // in the order they were loaded
    static std::vector<Waiting> clips;
    return clips;
}

Uint32 little_endian(const Uint8* bytes) {
    return static_cast<Uint32>(bytes[0]) | static_cast<Uint32>(bytes[1]) << 8 |
           static_cast<Uint32>(bytes[2]) << 16 | static_cast<Uint32>(bytes[3]) << 24;
}

// Whether the bytes begin as an Ogg Vorbis stream: a first Ogg page whose first packet is
// Vorbis's identification header, with channels and a rate. Reading only that much keeps
// a load cheap; opening the stream with the decoder would build its codebooks and decode
// a first frame, half the cost of decoding the whole clip.
bool vorbis_stream(const std::vector<Uint8>& bytes) {
    // The page: "OggS", version 0, flags (this page begins a stream), granule position,
    // serial and sequence numbers, checksum, the number of segments, then their sizes.
    constexpr std::size_t page_header = 27;
    constexpr Uint8 first_page = 0x02;
    if (bytes.size() < page_header || std::memcmp(bytes.data(), "OggS", 4) != 0 ||
        bytes[4] != 0 || (bytes[5] & first_page) == 0) {
        return false;
    }
    // The packet: type 1, "vorbis", version 0, channels, samples a second.
    const std::size_t packet = page_header + bytes[26];
    if (bytes.size() < packet + 16) {
        return false;
    }
    const Uint8* header = bytes.data() + packet;
    return header[0] == 1 && std::memcmp(header + 1, "vorbis", 6) == 0 &&
           little_endian(header + 7) == 0 && header[11] > 0 && little_endian(header + 12) > 0;
}

// Decodes a waiting clip into its chunk and hands it to the page. A stream whose headers
// read but whose audio does not decode stays silent.
void decode(Waiting& clip) {
    int channels = 0;
    int rate = 0;
    short* samples = nullptr;
    const int frames = stb_vorbis_decode_memory(clip.bytes.data(), static_cast<int>(clip.bytes.size()),
                                                &channels, &rate, &samples);
    std::vector<Sint16> pcm;
    if (frames > 0 && channels > 0 && rate > 0) {
        pcm = convert(samples, frames, channels, rate);
    }
    std::free(samples);
    auto* buffer = static_cast<Uint8*>(std::malloc(pcm.size() * sizeof(Sint16)));
    if (pcm.empty() || buffer == nullptr) {
        std::free(buffer);
        return;
    }
    std::memcpy(buffer, pcm.data(), pcm.size() * sizeof(Sint16));
    clip.chunk->abuf = buffer;
    clip.chunk->alen = static_cast<Uint32>(pcm.size() * sizeof(Sint16));
    web_audio_samples(clip.chunk, pcm.data(), static_cast<int>(pcm.size()) / device_channels,
                      device_rate);
}

// Decodes the chunk now if it still waits.
void decode(const Mix_Chunk* chunk) {
    auto& clips = waiting();
    const auto found = std::find_if(clips.begin(), clips.end(),
                                    [chunk](const Waiting& clip) { return clip.chunk == chunk; });
    if (found != clips.end()) {
        Waiting clip = std::move(*found);
        clips.erase(found);
        decode(clip);
    }
}

}  // namespace

extern "C" {

// The page's idle moments: decodes the first clip still waiting; returns how many wait.
EMSCRIPTEN_KEEPALIVE int brelvo_web_decode() {
    if (!waiting().empty()) {
        decode(waiting().front().chunk);
    }
    return static_cast<int>(waiting().size());
}

int Mix_OpenAudio(int frequency, Uint16 /*format*/, int channels, int /*chunksize*/) {
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0) {
        SDL_SetError("Audio subsystem not initialized");
        return -1;
    }
    char reason[256] = "";
    if (web_audio_open(reason, sizeof reason) != 0) {
        SDL_SetError("%s", reason);
        return -1;
    }
    opened = true;
    device_rate = frequency;
    device_channels = channels < 2 ? 1 : 2;
    return 0;
}

void Mix_CloseAudio() {
    if (opened) {
        web_audio_close();
        opened = false;
    }
}

int Mix_AllocateChannels(int numchans) {
    if (numchans >= 0) {
        for (int channel = numchans; channel < channel_count; ++channel) {
            web_audio_halt(channel);
        }
        channel_count = numchans;
    }
    return channel_count;
}

Mix_Chunk* Mix_LoadWAV_RW(SDL_RWops* src, int freesrc) {
    if (!opened) {
        SDL_SetError("Audio device hasn't been opened");
        if (src != nullptr && freesrc != 0) {
            SDL_RWclose(src);
        }
        return nullptr;
    }
    if (src == nullptr) {
        SDL_SetError("Mix_LoadWAV_RW with NULL src");
        return nullptr;
    }
    std::vector<Uint8> bytes = read_all(src);
    if (freesrc != 0) {
        SDL_RWclose(src);
    }
    if (!vorbis_stream(bytes)) {
        SDL_SetError("Unrecognized sound file type");
        return nullptr;
    }
    auto* chunk = static_cast<Mix_Chunk*>(std::malloc(sizeof(Mix_Chunk)));
    if (chunk == nullptr) {
        SDL_SetError("Out of memory");
        return nullptr;
    }
    // The samples come when the clip is decoded.
    *chunk = Mix_Chunk{1, nullptr, 0, MIX_MAX_VOLUME};
    waiting().push_back(Waiting{chunk, std::move(bytes)});
    web_audio_clip(chunk);
    return chunk;
}

void Mix_FreeChunk(Mix_Chunk* chunk) {
    if (chunk == nullptr) {
        return;
    }
    web_audio_forget(chunk);  // halts the channels that play it, as SDL_mixer does
    auto& clips = waiting();
    clips.erase(std::remove_if(clips.begin(), clips.end(),
                               [chunk](const Waiting& clip) { return clip.chunk == chunk; }),
                clips.end());
    std::free(chunk->abuf);
    std::free(chunk);
}

int Mix_VolumeChunk(Mix_Chunk* chunk, int volume) {
    if (chunk == nullptr) {
        return -1;
    }
    const int previous = chunk->volume;
    if (volume >= 0) {
        chunk->volume = static_cast<Uint8>(volume > MIX_MAX_VOLUME ? MIX_MAX_VOLUME : volume);
        web_audio_volume(chunk, chunk->volume);
    }
    return previous;
}

// A named channel gives up what it played; -1 takes the first channel that is silent.
int Mix_PlayChannelTimed(int channel, Mix_Chunk* chunk, int loops, int ticks) {
    if (chunk == nullptr) {
        SDL_SetError("Tried to play a NULL chunk");
        return -1;
    }
    if (channel == -1) {
        for (int free = 0; free < channel_count && channel == -1; ++free) {
            channel = web_audio_playing(free) != 0 ? -1 : free;
        }
        if (channel == -1) {
            SDL_SetError("No free channels available");
            return -1;
        }
    } else if (channel < 0 || channel >= channel_count) {
        SDL_SetError("Invalid channel");
        return -1;
    }
    decode(chunk);
    web_audio_play(channel, chunk, loops, ticks, chunk->volume);
    return channel;
}

int Mix_HaltChannel(int channel) {
    if (channel == -1) {
        for (int each = 0; each < channel_count; ++each) {
            web_audio_halt(each);
        }
    } else if (channel >= 0 && channel < channel_count) {
        web_audio_halt(channel);
    }
    return 0;
}

}  // extern "C"
