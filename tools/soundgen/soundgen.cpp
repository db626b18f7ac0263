// Synthesises the duel's sound clips as 16-bit mono WAV files at 22050 Hz.
//   soundgen OUTDIR   writes OUTDIR/<name>.wav for every clip
// make-sounds.sh encodes them to Ogg Vorbis. Everything is computed from fixed seeds,
// so two runs write the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double RATE = 22050.0;
constexpr double PI = 3.14159265358979323846;

using Samples = std::vector<double>;

// White noise in [-1, 1] from a fixed seed; mt19937 is the same on every platform.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : engine(seed) {}
    double operator()() { return (engine() >> 8) * (2.0 / 16777216.0) - 1.0; }

  private:
    std::mt19937 engine;
};

// Chamberlin state-variable filter: band-pass and low-pass outputs of one pass.
struct Filter {
    double low = 0;
    double band = 0;
    double step(double in, double cutoff, double q) {
        const double f = 2 * std::sin(PI * std::min(cutoff, RATE / 6) / RATE);
        low += f * band;
        const double high = in - low - band / q;
        band += f * high;
        return band;
    }
};

double smooth(double x) {  // 0..1 -> 0..1 with flat ends
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

// A bell that swells up to 1 at `peak` (0..1 of the clip) and dies away after it.
double swell(double t, double peak) {
    return t < peak ? smooth(t / peak) : std::pow(1 - smooth((t - peak) / (1 - peak)), 1.5);
}

void normalise(Samples& s, double peak) {
    double top = 1e-9;
    for (double v : s) {
        top = std::max(top, std::fabs(v));
    }
    for (double& v : s) {
        v *= peak / top;
    }
}

// Short fades so that no clip starts or stops on a click.
void fade_ends(Samples& s, int in, int out) {
    const int n = static_cast<int>(s.size());
    for (int i = 0; i < in && i < n; ++i) {
        s[i] *= smooth(static_cast<double>(i) / in);
    }
    for (int i = 0; i < out && i < n; ++i) {
        s[n - 1 - i] *= smooth(static_cast<double>(i) / out);
    }
}

// The blade's voice: a buzzy tone of a few odd-leaning harmonics.
double buzz(double phase) {
    return std::sin(phase) + 0.55 * std::sin(2 * phase) + 0.45 * std::sin(3 * phase) +
           0.22 * std::sin(4 * phase) + 0.18 * std::sin(5 * phase) + 0.08 * std::sin(7 * phase);
}

// The hum loops for a whole round: every partial makes a whole number of cycles in the
// loop, and the noise is the middle of three filtered copies of one loop, so the last
// sample runs on into the first.
Samples idle(int n) {
    const double cycle = RATE / n;  // Hz of one cycle per loop
    Samples s(n);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / RATE;
        const double wobble = 1 + 0.12 * std::sin(2 * PI * 2 * cycle * t);
        s[i] = wobble * (buzz(2 * PI * 182 * cycle * t) + 0.6 * buzz(2 * PI * 184 * cycle * t) +
                         0.15 * std::sin(2 * PI * 364 * 3 * cycle * t));
    }
    Noise noise(11);
    Samples raw(n);
    for (double& v : raw) {
        v = noise();
    }
    Filter filter;
    Samples hiss(n);
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < n; ++i) {
            const double out = filter.step(raw[i], 180, 1.2);
            if (pass == 1) {
                hiss[i] = out;
            }
        }
    }
    normalise(hiss, 1.0);
    for (int i = 0; i < n; ++i) {
        s[i] += 0.35 * hiss[i];
    }
    normalise(s, 0.7);
    // Any rotation of a loop is the same loop: start it where the wave is flattest, so
    // that the seam is a small step even after the encoder has had its way.
    int start = 0;
    for (int i = 0; i < n; ++i) {
        const double slope = std::fabs(s[(i + 1) % n] - s[(i + n - 1) % n]);
        if (slope < std::fabs(s[(start + 1) % n] - s[(start + n - 1) % n])) {
            start = i;
        }
    }
    std::rotate(s.begin(), s.begin() + start, s.end());
    return s;
}

// Power-on: the hum's pitch climbs from a growl, overshoots and settles, loud at first.
Samples power_on(int n) {
    Samples s(n);
    Noise noise(23);
    Filter filter;
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        // 35 Hz rising to 150 Hz by 25%, then ringing down to the hum's 90 Hz.
        const double rise = smooth(t / 0.25);
        const double settle = t < 0.25 ? 0 : std::exp(-(t - 0.25) * 9) * std::cos((t - 0.25) * 28);
        const double freq = 35 + rise * 55 + 60 * (t < 0.25 ? rise : settle);
        phase += 2 * PI * freq / RATE;
        const double level =
            smooth(t / 0.06) * (0.55 + 0.45 * std::exp(-t * 3)) * (1 - smooth((t - 0.75) / 0.25));
        const double crackle = filter.step(noise(), 600 + 3000 * (1 - t), 0.8);
        s[i] = level * (buzz(phase) + 0.5 * std::sin(phase * 8.01) * rise +
                        0.5 * crackle * std::exp(-t * 6));
    }
    normalise(s, 0.9);
    fade_ends(s, 64, 512);
    return s;
}

struct Swing {
    std::uint32_t seed;
    double peak;    // where the swell tops, 0..1 of the clip
    double pitch;   // Hz of the blade tone at rest
    double bend;    // how far the tone rises as the blade passes
    double bright;  // top cutoff of the air noise in Hz
};

// A whoosh: air noise whose level and brightness swell as the blade passes, with the
// blade's tone bent up and down like a passing siren.
Samples swing(int n, const Swing& p) {
    Samples s(n);
    Noise noise(p.seed);
    Filter air;
    Filter body;
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double e = swell(t, p.peak);
        const double doppler = 1 + p.bend * (e - 0.35) * (t < p.peak ? 1 : 1.2);
        phase += 2 * PI * p.pitch * doppler / RATE;
        const double cutoff = 250 + p.bright * e * e;
        const double whoosh =
            air.step(noise(), cutoff, 1.6) + 0.4 * body.step(noise(), cutoff * 0.4, 0.9);
        s[i] = e * (1.1 * whoosh + 0.45 * buzz(phase));
    }
    normalise(s, 0.85);
    fade_ends(s, 32, 256);
    return s;
}

struct Strike {
    std::uint32_t seed;
    double ring[4];  // partials of the metallic ring, Hz
    double decay;    // per second, of the ring
};

// A clash: a sharp crackling burst of noise and clicks over a ringing metallic chord.
Samples strike(int n, const Strike& p) {
    Samples s(n);
    Noise noise(p.seed);
    Filter crack;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / RATE;
        const double burst = std::exp(-t * 28);
        double v = burst * crack.step(noise(), 5000 - 3000 * std::min(t * 4, 1.0), 0.7) * 2.2;
        // Sparse hard clicks for the crackle, thinning out as the burst dies.
        if (noise() > 1 - 0.06 * std::exp(-t * 9)) {
            v += noise() * 1.5 * std::exp(-t * 6);
        }
        double ring = 0;
        for (int k = 0; k < 4; ++k) {
            ring += std::sin(2 * PI * p.ring[k] * t + k) / (1 + k * 0.6) *
                    std::exp(-t * p.decay * (1 + 0.35 * k));
        }
        s[i] = v + 0.55 * ring * smooth(t * 400);
    }
    normalise(s, 0.92);
    fade_ends(s, 8, 512);
    return s;
}

void write_wav(const std::string& path, const Samples& s) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            std::fputc((v >> (8 * i)) & 0xff, f);
    };
    const auto u16 = [&](std::uint16_t v) {
        std::fputc(v & 0xff, f);
        std::fputc(v >> 8, f);
    };
    const auto data = static_cast<std::uint32_t>(s.size() * 2);
    std::fputs("RIFF", f);
    u32(36 + data);
    std::fputs("WAVEfmt ", f);
    u32(16);
    u16(1);
    u16(1);
    u32(22050);
    u32(44100);
    u16(2);
    u16(16);
    std::fputs("data", f);
    u32(data);
    for (double v : s) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767);
        u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(q)));
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto out = [&](const char* name, const Samples& s) {
        write_wav(dir + "/" + name + ".wav", s);
    };

    out("strike0", strike(15232, {101, {1480, 2237, 3061, 4190}, 7}));
    out("strike1", strike(11968, {102, {1730, 2610, 3520, 4870}, 9}));
    out("strike2", strike(12800, {103, {1270, 1960, 2890, 3950}, 8}));
    out("swing0", swing(11200, {201, 0.45, 95, 0.35, 3200}));
    out("swing1", swing(14144, {202, 0.40, 88, 0.45, 2800}));
    out("swing2", swing(21696, {203, 0.35, 92, 0.30, 2400}));
    out("swing3", swing(44736, {204, 0.30, 85, 0.25, 2000}));
    out("swing4", swing(11968, {205, 0.50, 100, 0.40, 3600}));
    out("swing5", swing(12800, {206, 0.42, 90, 0.50, 3000}));
    out("swing6", swing(27136, {207, 0.33, 87, 0.35, 2200}));
    out("swing7", swing(11904, {208, 0.48, 97, 0.45, 3400}));
    out("idle", idle(44545));
    out("on", power_on(37888));
    return 0;
}
