#include "cab/writer/lzx_huffman.h"

#include <vector>

#include "cab/lzx_format.h"

namespace cabwriter::lzx {

using namespace cab::lzx;

void build_code_lengths(const uint32_t *freq, unsigned symbols, unsigned limit, uint8_t *lengths) {
    std::fill_n(lengths, symbols, 0);
    std::vector<uint32_t> f(freq, freq + symbols);
    unsigned used = 0, last = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        if (f[s]) ++used, last = s;
    }
    if (used == 0) return;
    if (used == 1) {
        lengths[last] = 1;
        lengths[last == 0 ? 1 : 0] = 1;
        return;
    }
    std::vector<unsigned> order;
    std::vector<uint32_t> weight(2 * symbols);
    std::vector<unsigned> parent(2 * symbols);
    for (;;) {
        order.clear();
        for (unsigned s = 0; s < symbols; ++s) {
            if (f[s]) order.push_back(s);
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](unsigned a, unsigned b) { return f[a] < f[b]; });
        // Two-queue construction: leaves in ascending order, internal nodes
        // in the order they are made (also ascending).
        const unsigned n = static_cast<unsigned>(order.size());
        for (unsigned i = 0; i < n; ++i) weight[i] = f[order[i]];
        unsigned leaf = 0, inner = n, made = n;
        auto take = [&]() {
            if (leaf < n && (inner == made || weight[leaf] <= weight[inner])) return leaf++;
            return inner++;
        };
        while (made < 2 * n - 1) {
            const unsigned a = take(), b = take();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = made;
            ++made;
        }
        std::vector<unsigned> depth(made, 0);
        unsigned longest = 0;
        for (unsigned i = made - 1; i-- > 0;) {
            depth[i] = depth[parent[i]] + 1;
            if (i < n) longest = std::max(longest, depth[i]);
        }
        if (longest <= limit) {
            for (unsigned i = 0; i < n; ++i) lengths[order[i]] = static_cast<uint8_t>(depth[i]);
            return;
        }
        for (auto &x : f) x = x ? (x + 1) / 2 : 0;
    }
}

void build_codes(const uint8_t *lengths, unsigned symbols, uint16_t *codes) {
    unsigned count[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) ++count[lengths[s]];
    uint32_t next[kMaxCodeLength + 1];
    first_canonical_codes(count, next);
    for (unsigned s = 0; s < symbols; ++s)
        codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}

}  // namespace cabwriter::lzx
