#include <gtest/gtest.h>

#include <sys/wait.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "window.h"

// The real game in a real window, heard through a sound server of the tests' own: a
// PulseAudio whose one output is a null sink, "out", recorded from its monitor exactly
// as a desktop would hear it.
namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int HUM_VOLUME = 38;  // of the mixer's 128
constexpr int RECORD_RATE = 22050;

// Sound as the tests measure it: two channels of samples from -1 to 1.
struct Sound {
    int rate = 0;
    std::vector<double> left;
    std::vector<double> right;
};

double rms(const Sound& s) {
    double sum = 0;
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        sum += s.left[i] * s.left[i] + s.right[i] * s.right[i];
    }
    return s.left.empty() ? 0 : std::sqrt(sum / (2.0 * static_cast<double>(s.left.size())));
}

// Runs of at least this many frames of digital silence in both channels are gaps: the
// server had nothing from the game in time, as happens on a busy machine.
constexpr std::size_t GAP_FRAMES = 32;

// The sound with its gaps cut out; `gaps` counts them.
Sound without_gaps(const Sound& s, int& gaps) {
    Sound kept;
    kept.rate = s.rate;
    gaps = 0;
    std::size_t i = 0;
    while (i < s.left.size()) {
        std::size_t end = i;
        while (end < s.left.size() && s.left[end] == 0 && s.right[end] == 0) {
            ++end;
        }
        if (end - i >= GAP_FRAMES) {
            ++gaps;
        } else {
            for (std::size_t j = i; j < end; ++j) {
                kept.left.push_back(0);
                kept.right.push_back(0);
            }
        }
        if (end < s.left.size()) {
            kept.left.push_back(s.left[end]);
            kept.right.push_back(s.right[end]);
        }
        i = end + 1;
    }
    return kept;
}

void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * PI / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Spectrum on a scale of pitch: amplitude per 1/48 octave from 10 Hz up, over ten
// octaves, of the first `seconds` of the sound. On this scale a change of pitch is a
// shift, the same for every partial: an octave is 48 bins.
constexpr int BINS_PER_OCTAVE = 48;
constexpr double LOWEST = 10;
constexpr std::size_t OCTAVES = 10;

std::vector<double> pitch_spectrum(const Sound& s, double seconds) {
    const std::size_t n = std::min(s.left.size(), static_cast<std::size_t>(seconds * s.rate));
    std::size_t size = 1;
    while (size < n) {
        size <<= 1;
    }
    std::vector<std::complex<double>> x(size);
    for (std::size_t i = 0; i < n; ++i) {
        const double hann =
            0.5 - 0.5 * std::cos(2 * PI * static_cast<double>(i) / static_cast<double>(n));
        x[i] = (s.left[i] + s.right[i]) / 2 * hann;
    }
    fft(x);
    std::vector<double> bins(OCTAVES * BINS_PER_OCTAVE);
    for (std::size_t k = 1; k < size / 2; ++k) {
        const double f = static_cast<double>(k) * s.rate / static_cast<double>(size);
        const int bin = static_cast<int>(std::floor(BINS_PER_OCTAVE * std::log2(f / LOWEST)));
        if (bin >= 0 && bin < static_cast<int>(bins.size())) {
            bins[bin] += std::norm(x[k]);
        }
    }
    for (double& b : bins) {
        b = std::sqrt(b);
    }
    return bins;
}

// How far the heard sound sits from the clip in pitch, in octaves: the shift that lines
// up the heard spectrum with the clip's from 40 Hz to 2.56 kHz best, searched over an
// octave and a quarter either way. `match` is the correlation at that shift.
double pitch_offset(const std::vector<double>& clip, const std::vector<double>& heard,
                    double& match) {
    const int from = 2 * BINS_PER_OCTAVE;  // 40 Hz
    const int to = 8 * BINS_PER_OCTAVE;    // 2.56 kHz
    const int reach = BINS_PER_OCTAVE * 5 / 4;
    const auto correlation = [&](int shift) {
        double sa = 0;
        double sb = 0;
        double saa = 0;
        double sbb = 0;
        double sab = 0;
        const int n = to - from;
        for (int i = from; i < to; ++i) {
            const double a = clip[i];
            const double b = heard[i + shift];
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
        }
        const double den = std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
        return den > 0 ? (sab - sa * sb / n) / den : 0;
    };
    int best = -reach;
    match = -2;
    for (int shift = -reach; shift <= reach; ++shift) {
        const double c = correlation(shift);
        if (c > match) {
            best = shift;
            match = c;
        }
    }
    return static_cast<double>(best) / BINS_PER_OCTAVE;
}

// The hum as the mixer plays it: the clip decoded by the codec's own library at the
// clip's own rate, the same in both output channels, scaled to the hum's volume the
// way the mixer scales a chunk.
Sound hum_at_its_volume() {
    Sound hum;
    OggVorbis_File file;
    if (ov_fopen(BRELVO_HUM, &file) != 0) {
        return hum;
    }
    const vorbis_info* info = ov_info(&file, -1);
    if (info != nullptr && info->channels == 1) {
        hum.rate = static_cast<int>(info->rate);
        char bytes[4096];
        int section = 0;
        long got = 0;
        while ((got = ov_read(&file, bytes, sizeof bytes, 0, 2, 1, &section)) > 0) {
            for (long i = 0; i + 1 < got; i += 2) {
                const auto sample =
                    static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8);
                const int scaled = sample * HUM_VOLUME / 128;  // in whole steps, as the mixer does
                const double v = scaled / 32768.0;
                hum.left.push_back(v);
                hum.right.push_back(v);
            }
        }
    }
    ov_clear(&file);
    return hum;
}

// The settings that lead a client to the tests' server and nowhere else.
std::vector<std::string> server_env() {
    char* dir = realpath(BRELVO_PULSE, nullptr);
    if (dir == nullptr) {
        return {};
    }
    const std::string d = dir;
    std::free(dir);
    return {"PULSE_SERVER=unix:" + d + "/native", "PULSE_CLIENTCONFIG=" + d + "/client.conf",
            "PULSE_COOKIE=" + d + "/.config/pulse/cookie"};
}

// What the null sink plays over the next `seconds`, from its monitor. The first quarter
// second is dropped: it may hold what the server buffered before the recording began.
Sound record(const std::vector<std::string>& env, double seconds) {
    std::string command = "env";
    for (const std::string& setting : env) {
        command += " '" + setting + "'";
    }
    command += " parec -d out.monitor --format=s16le --rate=" + std::to_string(RECORD_RATE) +
               " --channels=2 --raw --latency-msec=50 2>/dev/null";
    const std::size_t skip = RECORD_RATE / 4;
    std::vector<std::int16_t> raw(2 * (skip + static_cast<std::size_t>(seconds * RECORD_RATE)));
    Sound sound;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return sound;
    }
    const std::size_t got = fread(raw.data(), 2, raw.size(), pipe);
    pclose(pipe);  // parec ends on its next write, into a closed pipe
    if (got != raw.size()) {
        return sound;
    }
    sound.rate = RECORD_RATE;
    for (std::size_t i = skip; 2 * i < raw.size(); ++i) {
        sound.left.push_back(raw[2 * i] / 32768.0);
        sound.right.push_back(raw[2 * i + 1] / 32768.0);
    }
    return sound;
}

// Both fighters in their start cells: a round is under way.
bool in_a_round(const window::Picture& p) {
    if (p.w == 0) {
        return false;
    }
    const int s = std::min(p.w / 11, p.h / 9);
    const auto cell = [&](int column, int row) {
        return p.at((p.w - 9 * s) / 2 + column * s + s / 2, (p.h - 9 * s) / 2 + row * s + s / 2);
    };
    const std::array<int, 3> white{255, 255, 255};
    return cell(1, 4) == white && cell(2, 4) == std::array<int, 3>{255, 0, 0} &&
           cell(6, 4) == std::array<int, 3>{0, 0, 255} && cell(7, 4) == white;
}

// The idle hum loops through the whole round at its volume; the power-on sound, played
// twice as the round starts, is over 1.75 s after the fighters appear. Both libraries
// take the driver name "pulse" (SDL2 knows it as the old name of its "pulseaudio").
TEST(SoundServer, TheRoundHumsAtTheClipsLevelAndPitch) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the game draws on an X server";
    const std::vector<std::string> server = server_env();
    ASSERT_FALSE(server.empty()) << "no sound server at " BRELVO_PULSE;

    const Sound clip = hum_at_its_volume();
    ASSERT_GT(clip.rate, 0) << "the hum did not decode from " BRELVO_HUM;
    const double clip_level = rms(clip);
    ASSERT_GT(clip_level, 0.01);

    // Nothing plays yet: this is what silence measures, far below the hum.
    const Sound before = record(server, 0.5);
    ASSERT_FALSE(before.left.empty()) << "nothing recorded from out.monitor";
    const double silence = rms(before);
    EXPECT_LT(silence, clip_level / 100) << "the sink is silent before the game starts";

    std::vector<std::string> env = server;
    env.emplace_back("SDL_AUDIODRIVER=pulse");
    env.emplace_back("SDL_VIDEODRIVER=x11");
    process::Child brelvo(BRELVO_EXE, env);
    const std::string id = window::find();
    ASSERT_FALSE(id.empty()) << brelvo.error_output();
    ASSERT_TRUE(in_a_round(window::capture_until(id, in_a_round, 20))) << brelvo.error_output();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));

    const Sound recording = record(server, 3.0);
    ASSERT_FALSE(recording.left.empty()) << "nothing recorded from out.monitor";
    int gaps = 0;
    const Sound hum = without_gaps(recording, gaps);
    ASSERT_GE(hum.left.size(), RECORD_RATE * 3 / 2U) << gaps << " gaps: the hum kept breaking off";
    // Over two seconds, nearly a whole loop of the clip: its swell averages out.
    const double level = rms(hum);
    double match = 0;
    const double octaves = pitch_offset(pitch_spectrum(clip, 2), pitch_spectrum(hum, 2), match);
    std::printf(
        "silence %.5f; hum level %.4f, clip at volume %d %.4f (%.3f); pitch %+.3f "
        "octaves (match %.2f); %d gaps\n",
        silence, level, HUM_VOLUME, clip_level, level / clip_level, octaves, match, gaps);
    // Within a tenth: 33 or 43 instead of 38 would be out.
    EXPECT_GT(level, clip_level * 0.9) << "the hum is quieter than its volume";
    EXPECT_LT(level, clip_level * 1.1) << "the hum is louder than its volume";
    // Two bins is under 3 % of pitch; an octave is 48.
    EXPECT_LE(std::fabs(octaves), 2.0 / BINS_PER_OCTAVE) << "the hum is off its pitch";
    // Each gap cut out leaves a click, which blurs the likeness (0.9 after four gaps).
    EXPECT_GT(match, 0.6) << "what plays does not sound like the hum";

    window::key(id, "Escape");
    const int status = brelvo.wait(20);
    ASSERT_NE(status, -1) << "still running";
    ASSERT_TRUE(WIFEXITED(status)) << brelvo.error_output();
    EXPECT_EQ(WEXITSTATUS(status), 0) << brelvo.error_output();
}

}  // namespace
