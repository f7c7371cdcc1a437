// create: gathers files, groups them into folders and writes a cabinet or a
// cabinet set with the writer.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "cab/writer/writer.h"
#include "sfx/platform.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/create_inputs.h"
#include "tools/pelmarcab/names.h"
#include "tools/pelmarcab/progress.h"
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

// A date and time as MS-DOS words. Dates outside what the words hold
// (1980 to 2107) are clamped to the nearest one they hold.
struct DosStamp {
    uint16_t date, time;
};

DosStamp dos_stamp(const std::tm &tm) {
    if (tm.tm_year < 80) return {0x0021, 0x0000};   // 1980-01-01 00:00:00
    if (tm.tm_year > 207) return {0xFF9F, 0xBF7D};  // 2107-12-31 23:59:58
    return {static_cast<uint16_t>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday),
            static_cast<uint16_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2)};
}

bool is_number(const std::string &text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// Seconds since 1970 as a stamp in UTC, so that the same value gives the
// same bytes whatever the machine's time zone.
DosStamp utc_stamp(std::time_t seconds) {
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return dos_stamp(tm);
}

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// --mtime: "@SECONDS" or "SECONDS" since 1970 (UTC), or a date and time
// written as they are to be stored, "YYYY-MM-DD[ HH:MM[:SS]]" (or with T).
DosStamp parse_mtime(const std::string &text) {
    const std::string digits = !text.empty() && text[0] == '@' ? text.substr(1) : text;
    if (is_number(digits)) return utc_stamp(static_cast<std::time_t>(std::stoll(digits)));
    std::tm tm{};
    char separator = ' ', tail = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon,
                              &tm.tm_mday, &separator, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &tail);
    const bool shape = n == 3 || ((n == 6 || n == 7) && (separator == ' ' || separator == 'T'));
    if (!shape || tm.tm_year < 1980 || tm.tm_year > 2107 || tm.tm_mon < 1 || tm.tm_mon > 12 ||
        tm.tm_mday < 1 || tm.tm_mday > days_in_month(tm.tm_year, tm.tm_mon) || tm.tm_hour > 23 ||
        tm.tm_min > 59 || tm.tm_sec > 59)
        throw std::invalid_argument(
            "--mtime takes seconds since 1970 (@N) or YYYY-MM-DD[ HH:MM[:SS]] "
            "between 1980 and 2107, not \"" +
            text + "\"");
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return dos_stamp(tm);
}

// The one date of every file: --mtime, else $SOURCE_DATE_EPOCH; none when
// neither is given and each file keeps its own.
std::optional<DosStamp> fixed_stamp(const std::string &mtime) {
    if (!mtime.empty()) return parse_mtime(mtime);
    const char *epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr || *epoch == 0) return std::nullopt;
    if (!is_number(epoch))
        throw std::invalid_argument("SOURCE_DATE_EPOCH must be seconds since 1970, not \"" +
                                    std::string(epoch) + "\"");
    return utc_stamp(static_cast<std::time_t>(std::stoll(epoch)));
}

DosStamp file_stamp(std::time_t mtime) {
    std::tm tm{};
    localtime_r(&mtime, &tm);
    return dos_stamp(tm);
}

// The name as stored, with '\\' separators: UTF-8 by default (flagged as
// such when it is not plain ASCII), or converted to `charset` and unflagged.
void store_name(const InputFile &input, const std::string &charset, cabwriter::FileEntry &e) {
    std::string name = input.name;
    std::replace(name.begin(), name.end(), '/', '\\');
    if (!sfx::platform::is_valid_utf8(name))
        throw std::runtime_error(
            input.path.string() +
            ": the name is not UTF-8, so its characters are unknown; rename the "
            "file or leave it out with --exclude");
    // Readers refuse such names (ours does), so a cabinet holding one could
    // not be extracted.
    if (has_control_characters(name))
        throw std::runtime_error(input.path.string() +
                                 ": the name holds a control character, which extractors "
                                 "refuse; rename the file or leave it out with --exclude");
    const bool ascii = std::none_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
    if (charset.empty()) {
        e.name = name;
        if (!ascii) e.attributes |= kAttribNameIsUtf8;
    } else if (!sfx::platform::convert_from_utf8(name, charset.c_str(), e.name)) {
        throw std::runtime_error(input.path.string() + ": the name cannot be written in " +
                                 charset + "; rename the file or store names as UTF-8");
    }
}

// The file's `size` bytes; a read error or a file that is shorter or longer
// than it was a moment ago is reported, never stored cut short.
std::vector<uint8_t> read_file(const fs::path &path, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path.string() + ": cannot be read");
    std::vector<uint8_t> data(size);
    in.read(reinterpret_cast<char *>(data.data()), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size || in.bad() || in.peek() != EOF)
        throw std::runtime_error(path.string() + ": cannot be read whole (changed while read?)");
    return data;
}

cabwriter::FileEntry make_entry(const InputFile &input, const std::optional<DosStamp> &stamp,
                                const std::string &charset) {
    struct stat st {};
    if (::stat(input.path.c_str(), &st) != 0)
        throw std::runtime_error(input.path.string() + ": cannot be read");
    cabwriter::FileEntry e;
    e.attributes = 0;
    if (st.st_mode & S_IXUSR) e.attributes |= 0x40;
    if (!(st.st_mode & S_IWUSR)) e.attributes |= 0x01;
    store_name(input, charset, e);
    const DosStamp when = stamp ? *stamp : file_stamp(st.st_mtime);
    e.date = when.date;
    e.time = when.time;
    e.data = read_file(input.path, static_cast<uint64_t>(st.st_size));
    return e;
}

void check_charset(const std::string &charset) {
    std::string converted;
    if (!sfx::platform::convert_from_utf8("a", charset.c_str(), converted))
        throw std::invalid_argument("unknown character set \"" + charset +
                                    "\" (iconv -l lists them)");
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
        set.jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
        if (!options.reserve.empty()) parse_reserve(options.reserve, set);
        set.cabinet_name = [&](unsigned i) {
            return fs::path(set_member_name(options.output, i)).filename().string();
        };
        if (options.inputs.empty() && options.files_from.empty())
            throw std::invalid_argument("nothing to store: name files, directories or -T LIST");
        const auto stamp = fixed_stamp(options.mtime);
        if (!options.name_encoding.empty()) check_charset(options.name_encoding);
        std::vector<cabwriter::FileEntry> entries;
        for (const InputFile &input :
             gather_inputs({options.inputs, options.files_from, options.excludes}))
            entries.push_back(make_entry(input, stamp, options.name_encoding));
        const auto folders = group(std::move(entries), method, options.folder_size);
        uint64_t total = 0;
        for (const auto &folder : folders)
            for (const auto &file : folder.files) total += file.data.size();
        auto progress = Progress::on_stderr(options.output, total, options.quiet);
        set.folder_done = [&progress](uint64_t bytes) { progress.advance(bytes); };
        const auto cabinets = cabwriter::write_cabinet_set(folders, set);
        progress.finish();
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
