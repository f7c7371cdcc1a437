// create: gathers files, groups them into folders and writes a cabinet or a
// cabinet set with the writer.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "cab/writer/writer.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/names.h"
#include "tools/pelmarcab/terminal.h"

namespace fs = std::filesystem;

namespace pelmarcab {
namespace {

cabwriter::Method parse_method(const std::string &text) {
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    cabwriter::Method m;
    unsigned lo = 0, hi = 0;
    if (kind == "none" || kind == "stored") {
        m.kind = cabwriter::MethodKind::Stored;
    } else if (kind == "mszip") {
        m.kind = cabwriter::MethodKind::Mszip;
    } else if (kind == "lzx") {
        m.kind = cabwriter::MethodKind::Lzx;
        lo = 15, hi = 21;
    } else if (kind == "quantum") {
        m.kind = cabwriter::MethodKind::Quantum;
        lo = 10, hi = 21;
    } else {
        throw std::invalid_argument("unknown method \"" + text + "\"");
    }
    if (hi == 0) {
        if (colon != std::string::npos) throw std::invalid_argument(kind + " takes no window size");
        return m;
    }
    m.window_exponent = hi;
    if (colon != std::string::npos) {
        const std::string n = text.substr(colon + 1);
        if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(n) < lo || std::stoul(n) > hi)
            throw std::invalid_argument(kind + " window exponent must be " + std::to_string(lo) +
                                        ".." + std::to_string(hi));
        m.window_exponent = static_cast<unsigned>(std::stoul(n));
    }
    return m;
}

void parse_reserve(const std::string &text, cabwriter::SetOptions &o) {
    unsigned h = 0, f = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u,%u,%u%c", &h, &f, &d, &tail) != 3 || h > 60000 || f > 255 ||
        d > 255)
        throw std::invalid_argument("--reserve takes H,F,D with H <= 60000 and F, D <= 255");
    o.reserve_fields = true;
    o.header_reserve = static_cast<uint16_t>(h);
    o.folder_reserve = static_cast<uint8_t>(f);
    o.block_reserve = static_cast<uint8_t>(d);
}

std::vector<uint8_t> read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path.string() + ": cannot be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

cabwriter::FileEntry make_entry(const fs::path &path, const std::string &stored_name) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error(path.string() + ": cannot be read");
    cabwriter::FileEntry e;
    e.name = stored_name;
    e.data = read_file(path);
    unsigned date = 0, time = 0;
    time_to_dos(st.st_mtime, &date, &time);
    e.date = static_cast<uint16_t>(date);
    e.time = static_cast<uint16_t>(time);
    e.attributes = 0;
    if (st.st_mode & S_IXUSR) e.attributes |= 0x40;
    if (!(st.st_mode & S_IWUSR)) e.attributes |= 0x01;
    if (std::any_of(stored_name.begin(), stored_name.end(), [](char c) { return c & 0x80; }))
        e.attributes |= kAttribNameIsUtf8;
    return e;
}

std::string stored_name(const fs::path &relative) {
    std::string name;
    for (const auto &part : relative) {
        if (!name.empty()) name += '\\';
        name += part.string();
    }
    return name;
}

// Files of the inputs: a file by its own name, a directory's files by their
// names relative to it, in sorted order.
std::vector<cabwriter::FileEntry> gather(const std::vector<std::string> &inputs) {
    std::vector<cabwriter::FileEntry> files;
    for (const auto &input : inputs) {
        const fs::path root(input);
        if (fs::is_directory(root)) {
            std::vector<fs::path> found;
            for (const auto &entry : fs::recursive_directory_iterator(root))
                if (entry.is_regular_file()) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            for (const auto &p : found)
                files.push_back(make_entry(p, stored_name(p.lexically_relative(root))));
        } else if (fs::is_regular_file(root)) {
            files.push_back(make_entry(root, root.filename().string()));
        } else {
            throw std::runtime_error(input + ": no such file or directory");
        }
    }
    return files;
}

std::vector<cabwriter::Folder> group(std::vector<cabwriter::FileEntry> files,
                                     const cabwriter::Method &method, uint64_t folder_size) {
    std::vector<cabwriter::Folder> folders;
    uint64_t in_folder = 0;
    for (auto &f : files) {
        if (folders.empty() ||
            (folder_size && in_folder + f.data.size() > folder_size && in_folder > 0)) {
            folders.push_back({method, {}, nullptr});
            in_folder = 0;
        }
        in_folder += f.data.size();
        folders.back().files.push_back(std::move(f));
    }
    return folders;
}

}  // namespace

std::string set_member_name(const std::string &output, unsigned index) {
    if (index == 0) return output;
    const size_t slash = output.rfind('/');
    const size_t dot = output.rfind('.');
    const size_t cut = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                           ? output.size()
                           : dot;
    return output.substr(0, cut) + std::to_string(index + 1) + output.substr(cut);
}

int create_cabinet(const CreateOptions &options) {
    try {
        auto method = parse_method(options.method);
        if (options.best && method.kind != cabwriter::MethodKind::Lzx)
            throw std::invalid_argument("--best applies to lzx only");
        method.lzx_best = options.best;
        cabwriter::SetOptions set;
        set.max_cabinet_size = options.cabinet_size;
        set.checksums = options.checksums;
        if (!options.reserve.empty()) parse_reserve(options.reserve, set);
        set.cabinet_name = [&](unsigned i) {
            return fs::path(set_member_name(options.output, i)).filename().string();
        };
        const auto cabinets = cabwriter::write_cabinet_set(
            group(gather(options.inputs), method, options.folder_size), set);
        for (size_t i = 0; i < cabinets.size(); ++i) {
            const std::string path = set_member_name(options.output, static_cast<unsigned>(i));
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char *>(cabinets[i].bytes.data()),
                      static_cast<std::streamsize>(cabinets[i].bytes.size()));
            if (!out.flush()) throw std::runtime_error(path + ": cannot be written");
        }
        return 0;
    } catch (const std::exception &e) {
        print_failure(options.output, e.what());
        return 1;
    }
}

}  // namespace pelmarcab
