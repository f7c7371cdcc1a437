// Writes the seed corpora of the fuzz targets with the project's own
// writers: small cabinets of every method, sets with reserves, raw decoder
// block sequences, installer files, option strings and paths. Usage:
// make_seeds DIR (creates DIR/<target> for each target).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "cab/writer/writer.h"
#include "fuzz/fuzz_input.h"
#include "sfx/sfx_writer.h"

namespace fs = std::filesystem;

namespace {

// Mostly repeating text with a sprinkling of random bytes: compressible, so
// the seeds stay a few KB, but not trivially so.
std::vector<uint8_t> sample(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 7;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (x >> 28) == 0 ? static_cast<uint8_t>(x >> 16)
                                : static_cast<uint8_t>("abcab ra\n"[i % 9]);
    }
    return out;
}

void save(const fs::path &file, const std::vector<uint8_t> &bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void save_text(const fs::path &file, uint8_t mode, const std::string &text) {
    std::vector<uint8_t> bytes{mode};
    bytes.insert(bytes.end(), text.begin(), text.end());
    save(file, bytes);
}

std::vector<cabwriter::Method> methods() {
    using cabwriter::MethodKind;
    return {{MethodKind::Stored, 0, true},   {MethodKind::Mszip, 0, true},
            {MethodKind::Lzx, 15, true},     {MethodKind::Lzx, 21, true},
            {MethodKind::Quantum, 10, true}, {MethodKind::Quantum, 21, true}};
}

cabwriter::Folder sample_folder(const cabwriter::Method &method) {
    cabwriter::Folder folder{method, {}, nullptr};
    folder.files.push_back({"a.txt", sample(600, 1)});
    folder.files.push_back({"dir\\b.bin", sample(2500, 2), 0x5B87, 0x6000, 0x61});
    folder.files.push_back({"empty", {}});
    return folder;
}

// The data blocks of `data`, as fuzz_decoder reads them: the method value,
// then per block its compressed size, uncompressed size and bytes.
std::vector<uint8_t> raw_blocks(const cabwriter::Method &method, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> raw{static_cast<uint8_t>(method.value()),
                             static_cast<uint8_t>(method.value() >> 8)};
    for (const auto &b : method.make_compressor()->compress(data)) {
        const uint16_t n = static_cast<uint16_t>(b.bytes.size());
        raw.insert(raw.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                               static_cast<uint8_t>(b.uncompressed_size),
                               static_cast<uint8_t>(b.uncompressed_size >> 8)});
        raw.insert(raw.end(), b.bytes.begin(), b.bytes.end());
    }
    return raw;
}

int write_cabinet_seeds(const fs::path &root) {
    int written = 0;
    for (const auto &m : methods()) try {
            const std::string tag = std::to_string(m.value());
            const cabwriter::Folder folder = sample_folder(m);
            const auto single = cabwriter::write_cabinet_set({folder}).at(0).bytes;
            save(root / "fuzz_cabinet" / ("single-" + tag), fuzz::join_cabinets({single}));

            cabwriter::SetOptions set;
            set.max_cabinet_size = m.kind == cabwriter::MethodKind::Stored ? 2400 : 900;
            set.header_reserve = 4;
            set.folder_reserve = 2;
            set.block_reserve = 1;
            std::vector<std::vector<uint8_t>> parts;
            for (auto &c : cabwriter::write_cabinet_set({folder, sample_folder(m)}, set))
                parts.push_back(c.bytes);
            if (parts.size() > 3) parts.resize(3);
            save(root / "fuzz_cabinet" / ("set-" + tag), fuzz::join_cabinets(parts));

            // Two blocks, so that state carried from block to block is covered.
            if (m.kind != cabwriter::MethodKind::Stored)
                save(root / "fuzz_decoder" / ("blocks-" + tag), raw_blocks(m, sample(40000, 3)));
            written += 3;
        } catch (const std::exception &e) {
            std::cerr << "method " << m.value() << " skipped: " << e.what() << "\n";
        }
    return written;
}

int write_installer_seeds(const fs::path &root) {
    const std::vector<uint8_t> stub = {'\x7f', 'E', 'L', 'F', 0, 0, 0, 0};
    const auto cabinet = cabwriter::write_cabinet_set({sample_folder({})}).at(0).bytes;
    sfx::SfxBlock shipped;
    shipped.options = "-A -S -R -X -! -D\"$T\\\" -E\"setup.exe\"";
    sfx::SfxBlock every;
    every.cabinet_name = "payload.cab";
    every.title = "Title";
    every.message = "Message";
    every.options = "-N -D\"$C\\sub dir\"";
    save(root / "fuzz_payload" / "shipped", sfx::write_self_extractor(stub, shipped, cabinet));
    save(root / "fuzz_payload" / "every-key", sfx::write_self_extractor(stub, every, cabinet));

    const char *const options[] = {"-A -S -R -X -! -D\"$T\\\" -E\"setup.exe\"",
                                   "-n -d$P\\Tapmora -e\"a b.exe\"", "-D$Sx -E", "-Dplain\\folder",
                                   "-!ax -D\"$W\"  -D$y"};
    int written = 2;
    for (const char *text : options) {
        save_text(root / "fuzz_options" / ("block-" + std::to_string(written)), 0, text);
        save_text(root / "fuzz_options" / ("word-" + std::to_string(written)), 1, text);
        written += 2;
    }
    const char *const paths[] = {"C:\\Program Files\\Tapmora\\setup.exe",
                                 "\\\\server\\share\\dir\\a.b",
                                 "//srv",
                                 "rel/dir/name.tar.gz",
                                 "\x83\x5C\x95\x5C\\\x8F\x5C.txt",
                                 "a\\\\b",
                                 "dir\\*.txt"};
    for (const char *text : paths) {
        save_text(root / "fuzz_paths" / ("utf8-" + std::to_string(written)), 0, text);
        save_text(root / "fuzz_paths" / ("sjis-" + std::to_string(written)), 1, text);
        written += 2;
    }
    return written;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds DIR\n";
        return 2;
    }
    const fs::path root(argv[1]);
    for (const char *target :
         {"fuzz_cabinet", "fuzz_decoder", "fuzz_payload", "fuzz_options", "fuzz_paths"})
        fs::create_directories(root / target);
    try {
        const int written = write_cabinet_seeds(root) + write_installer_seeds(root);
        std::cout << written << " seeds written\n";
    } catch (const std::exception &e) {
        std::cerr << "make_seeds: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
