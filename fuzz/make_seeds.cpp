// Writes the seed corpora of the fuzz targets with the project's own writer:
// small cabinets of every available method, sets, reserves, and raw decoder
// block sequences. Usage: make_seeds DIR (creates DIR/cabinet, DIR/decoder).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "cab/format.h"
#include "cab/writer/writer.h"
#include "fuzz/fuzz_input.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> sample(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 7;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (x >> 28) < 4 ? static_cast<uint8_t>(x >> 16) : static_cast<uint8_t>("abcab ra\n"[i % 9]);
    }
    return out;
}

void save(const fs::path &file, const std::vector<uint8_t> &bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<cabwriter::Method> methods() {
    using cabwriter::MethodKind;
    return {{MethodKind::Stored, 0, true}, {MethodKind::Mszip, 0, true}, {MethodKind::Lzx, 15, true},
            {MethodKind::Lzx, 21, true},   {MethodKind::Quantum, 10, true}, {MethodKind::Quantum, 21, true}};
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds DIR\n";
        return 2;
    }
    const fs::path root(argv[1]);
    fs::create_directories(root / "cabinet");
    fs::create_directories(root / "decoder");
    int written = 0;
    for (const auto &m : methods()) {
        const std::string tag = std::to_string(m.value());
        try {
            cabwriter::Folder folder{m, {}, nullptr};
            folder.files.push_back({"a.txt", sample(3000, 1)});
            folder.files.push_back({"dir\\b.bin", sample(40000, 2), 0x5B87, 0x6000, 0x61});
            folder.files.push_back({"empty", {}});
            save(root / "cabinet" / ("single-" + tag), fuzz::join_cabinets({cabwriter::write_cabinet_set({folder}).at(0).bytes}));

            cabwriter::SetOptions set;
            set.max_cabinet_size = 40000;
            set.header_reserve = 4;
            set.folder_reserve = 2;
            set.block_reserve = 1;
            std::vector<std::vector<uint8_t>> parts;
            for (auto &c : cabwriter::write_cabinet_set({folder}, set)) parts.push_back(c.bytes);
            if (parts.size() > 3) parts.resize(3);
            save(root / "cabinet" / ("set-" + tag), fuzz::join_cabinets(parts));

            // The raw blocks of the single cabinet, for the decoder target.
            const auto blocks = m.make_compressor()->compress(sample(70000, 3));
            std::vector<uint8_t> raw{static_cast<uint8_t>(m.value()), static_cast<uint8_t>(m.value() >> 8)};
            for (const auto &b : blocks) {
                const uint16_t n = static_cast<uint16_t>(b.bytes.size());
                raw.insert(raw.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                       static_cast<uint8_t>(b.uncompressed_size),
                                       static_cast<uint8_t>(b.uncompressed_size >> 8)});
                raw.insert(raw.end(), b.bytes.begin(), b.bytes.end());
            }
            if (m.kind != cabwriter::MethodKind::Stored) save(root / "decoder" / ("blocks-" + tag), raw);
            written += 3;
        } catch (const std::exception &e) {
            std::cerr << "method " << tag << " skipped: " << e.what() << "\n";
        }
    }
    std::cout << written << " seeds written\n";
    return 0;
}
