// Writes the drill's beep as a WAV file (PCM, 16 bits, mono): a short sine
// tone whose edges rise and fall smoothly, so that it neither clicks at the
// start nor ends in a crackle. Run by the build; the trainer carries the
// file among its resources.
// usage: tapmora_tone OUTPUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int kSampleRate = 44100;
constexpr double kFrequency = 880;  // A5: clear without being shrill
constexpr double kLength = 0.060;   // seconds; the beeper spaces beeps 150 ms apart
constexpr double kRise = 0.004;     // seconds of the edge at either end
constexpr double kLevel = 0.35;     // of full scale

std::vector<std::int16_t> toneSamples() {
    const int count = static_cast<int>(kLength * kSampleRate);
    const int edge = static_cast<int>(kRise * kSampleRate);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // A raised-cosine ramp over `edge` samples at each end.
        const int fromEdge = std::min(i, count - 1 - i);
        const double envelope =
            fromEdge >= edge ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * fromEdge / edge);
        const double wave = std::sin(2 * std::numbers::pi * kFrequency * i / kSampleRate);
        samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lround(32767 * kLevel * envelope * wave));
    }
    return samples;
}

void put(std::vector<unsigned char> &out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));  // little-endian
}

std::vector<unsigned char> wavFile(const std::vector<std::int16_t> &samples) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<unsigned char> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(out, 16, 4);  // format chunk size
    put(out, 1, 2);   // PCM
    put(out, 1, 2);   // channels
    put(out, kSampleRate, 4);
    put(out, kSampleRate * 2, 4);  // bytes per second
    put(out, 2, 2);                // bytes per frame
    put(out, 16, 2);               // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put(out, dataBytes, 4);
    for (std::int16_t sample : samples) put(out, static_cast<std::uint16_t>(sample), 2);
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::vector<unsigned char> file = wavFile(toneSamples());
    std::FILE *out = std::fopen(argv[1], "wb");
    const bool written = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (!out || std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
