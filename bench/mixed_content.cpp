#include "bench/mixed_content.h"

#include <algorithm>
#include <array>
#include <random>
#include <string_view>

namespace bench {
namespace {

constexpr std::array<std::string_view, 24> kWords = {
    "the",     "cabinet", "folder",      "file",    "install", "setup",   "program", "data",
    "window",  "kana",    "typing",      "trainer", "version", "extract", "block",   "decoder",
    "options", "message", "destination", "copy",    "system",  "of",      "and",     "to"};

void append_text(std::vector<uint8_t> &out, size_t n, std::mt19937 &rng) {
    std::geometric_distribution<int> sentence(0.08);
    const size_t end = out.size() + n;
    while (out.size() < end) {
        const int words = 3 + sentence(rng);
        for (int i = 0; i < words && out.size() < end; ++i) {
            auto w = kWords[rng() % kWords.size()];
            out.insert(out.end(), w.begin(), w.end());
            out.push_back(i + 1 == words ? '.' : ' ');
        }
        out.push_back('\n');
    }
    out.resize(end);
}

// Machine-code-like bytes: short opcode patterns, relative calls (0xE8) to a
// small set of targets, and little-endian immediates.
void append_code(std::vector<uint8_t> &out, size_t n, std::mt19937 &rng) {
    static constexpr std::array<std::array<uint8_t, 3>, 8> kOps = {{{0x8B, 0x45, 0xFC},
                                                                    {0x89, 0x45, 0xF8},
                                                                    {0x83, 0xC4, 0x08},
                                                                    {0x55, 0x8B, 0xEC},
                                                                    {0x5D, 0xC3, 0x90},
                                                                    {0x33, 0xC0, 0x50},
                                                                    {0x85, 0xC0, 0x74},
                                                                    {0x6A, 0x00, 0xFF}}};
    std::array<uint32_t, 64> targets;
    for (auto &t : targets) t = rng() % (1u << 20);
    const size_t end = out.size() + n;
    while (out.size() < end) {
        const uint32_t r = rng() % 10;
        if (r < 2) {
            const uint32_t pos = static_cast<uint32_t>(out.size());
            const uint32_t rel = targets[rng() % targets.size()] - pos;
            out.push_back(0xE8);
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(rel >> (8 * b)));
        } else if (r < 9) {
            const auto &op = kOps[rng() % kOps.size()];
            out.insert(out.end(), op.begin(), op.end());
        } else {
            const uint32_t imm = rng() % 4096;
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(imm >> (8 * b)));
        }
    }
    out.resize(end);
}

// Tables: runs of repeated values and slowly changing counters.
void append_table(std::vector<uint8_t> &out, size_t n, std::mt19937 &rng) {
    const size_t end = out.size() + n;
    uint16_t counter = static_cast<uint16_t>(rng());
    while (out.size() < end) {
        if (rng() % 3 == 0) {
            out.insert(out.end(), 1 + rng() % 200, static_cast<uint8_t>(rng() % 4));
        } else {
            counter = static_cast<uint16_t>(counter + rng() % 3);
            out.push_back(static_cast<uint8_t>(counter));
            out.push_back(static_cast<uint8_t>(counter >> 8));
        }
    }
    out.resize(end);
}

void append_random(std::vector<uint8_t> &out, size_t n, std::mt19937 &rng) {
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(rng()));
}

}  // namespace

std::vector<uint8_t> mixed_content(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size + 1024);
    // Pieces of 4-260 KiB in the proportions 35% text, 35% code, 20% tables,
    // 10% incompressible.
    while (out.size() < size) {
        const size_t piece = std::min<size_t>(size - out.size(), (4 + rng() % 256) << 10);
        const uint32_t kind = rng() % 20;
        if (kind < 7)
            append_text(out, piece, rng);
        else if (kind < 14)
            append_code(out, piece, rng);
        else if (kind < 18)
            append_table(out, piece, rng);
        else
            append_random(out, piece, rng);
    }
    return out;
}

}  // namespace bench
