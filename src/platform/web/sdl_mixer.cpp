#include <SDL_mixer.h>

#include <cstdlib>
#include <cstring>
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

}  // namespace

extern "C" {

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
    const std::vector<Uint8> bytes = read_all(src);
    if (freesrc != 0) {
        SDL_RWclose(src);
    }
    int channels = 0;
    int rate = 0;
    short* samples = nullptr;
    const int frames = stb_vorbis_decode_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                &channels, &rate, &samples);
    if (frames <= 0 || channels <= 0 || rate <= 0) {
        std::free(samples);
        SDL_SetError("Unrecognized sound file type");
        return nullptr;
    }
    const std::vector<Sint16> pcm = convert(samples, frames, channels, rate);
    std::free(samples);

    auto* chunk = static_cast<Mix_Chunk*>(std::malloc(sizeof(Mix_Chunk)));
    auto* buffer = static_cast<Uint8*>(std::malloc(pcm.size() * sizeof(Sint16)));
    if (chunk == nullptr || buffer == nullptr) {
        std::free(chunk);
        std::free(buffer);
        SDL_SetError("Out of memory");
        return nullptr;
    }
    std::memcpy(buffer, pcm.data(), pcm.size() * sizeof(Sint16));
    *chunk = Mix_Chunk{1, buffer, static_cast<Uint32>(pcm.size() * sizeof(Sint16)), MIX_MAX_VOLUME};
    web_audio_clip(chunk, pcm.data(), static_cast<int>(pcm.size()) / device_channels, device_rate);
    return chunk;
}

void Mix_FreeChunk(Mix_Chunk* chunk) {
    if (chunk == nullptr) {
        return;
    }
    web_audio_forget(chunk);  // halts the channels that play it, as SDL_mixer does
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
