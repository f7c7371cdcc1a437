// list -v and list --json: the stored structures of each cabinet.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cab/cab.h"
#include "cab/format.h"
#include "tools/pelmarcab/cabinet_layout.h"
#include "tools/pelmarcab/listing.h"
#include "tools/pelmarcab/selection.h"
#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

// Keys in the order they are set, so the document reads like the text listing.
using json = nlohmann::ordered_json;

std::string method_name(uint16_t value) {
    switch (cab::method_kind(value)) {
        case cab::kMethodStored: return "stored";
        case cab::kMethodMszip: return "MSZIP";
        case cab::kMethodQuantum: return "Quantum";
        case cab::kMethodLzx: return "LZX";
        default: return "unknown";
    }
}

// Bits of the window, where the method has one: MSZIP's is fixed at 32 KiB.
unsigned window_bits(uint16_t value) {
    switch (cab::method_kind(value)) {
        case cab::kMethodMszip: return 15;
        case cab::kMethodQuantum:
        case cab::kMethodLzx: return cab::window_exponent(value);
        default: return 0;
    }
}

std::vector<std::string> flag_names(uint16_t flags) {
    std::vector<std::string> names;
    if (flags & cab::kFlagPrevious) names.push_back("previous cabinet");
    if (flags & cab::kFlagNext) names.push_back("next cabinet");
    if (flags & cab::kFlagReserve) names.push_back("reserve fields");
    return names;
}

std::vector<std::string> attribute_names(uint16_t attributes) {
    static const struct {
        uint16_t bit;
        const char *name;
    } kNames[] = {{0x01, "read-only"},      {0x02, "hidden"},    {0x04, "system"},
                  {0x08, "volume"},         {0x10, "directory"}, {0x20, "archive"},
                  {CAB_ATTRIB_EXEC, "run"}, {0x80, "utf8-name"}};
    std::vector<std::string> names;
    for (const auto &n : kNames)
        if (attributes & n.bit) names.push_back(n.name);
    return names;
}

std::string joined(const std::vector<std::string> &parts) {
    std::string out;
    for (const auto &p : parts) out += (out.empty() ? "" : ", ") + p;
    return out.empty() ? "-" : out;
}

std::string dos_date(uint16_t date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", (date >> 9) + 1980u, (date >> 5) & 0xFu,
                  date & 0x1Fu);
    return text;
}

std::string dos_time(uint16_t time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", time >> 11u, (time >> 5) & 0x3Fu,
                  (time & 0x1Fu) * 2);
    return text;
}

std::string folder_text(uint16_t index) {
    switch (index) {
        case CAB_FOLDER_CONTINUED_FROM_PREV: return "prev";
        case CAB_FOLDER_CONTINUED_TO_NEXT: return "next";
        case CAB_FOLDER_CONTINUED_PREV_AND_NEXT: return "prev+next";
        default: return std::to_string(index);
    }
}

std::string ratio_text(const LayoutFolder &f) {
    if (f.uncompressed == 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(f.compressed) / static_cast<double>(f.uncompressed));
    return text;
}

std::string other_cabinet(const std::string &cabinet, const std::string &disk) {
    if (cabinet.empty() && disk.empty()) return "-";
    return printable(cabinet) + " (disk \"" + printable(disk) + "\")";
}

void print_text(const std::string &path, const CabinetLayout &c, const FileNames &names) {
    const LayoutHeader &h = c.header;
    std::printf("cabinet %s\n", printable(path).c_str());
    std::printf("  version %u.%u, %u bytes stated, %llu bytes in the file\n", h.version >> 8,
                h.version & 0xFFu, h.cabinet_size, static_cast<unsigned long long>(c.file_size));
    std::printf("  set id 0x%04x, index %u\n", h.set_id, h.cabinet_index);
    std::printf("  flags 0x%04x: %s\n", h.flags, joined(flag_names(h.flags)).c_str());
    std::printf("  previous cabinet: %s\n",
                other_cabinet(h.previous_cabinet, h.previous_disk).c_str());
    std::printf("  next cabinet: %s\n", other_cabinet(h.next_cabinet, h.next_disk).c_str());
    std::printf("  reserve: header %u, folder %u, data block %u bytes\n", h.header_reserve,
                h.folder_reserve, h.block_reserve);
    std::printf("folders %zu\n  #\tmethod\twindow\tblocks\tcompressed\tuncompressed\tratio\n",
                c.folders.size());
    for (size_t i = 0; i < c.folders.size(); ++i) {
        const LayoutFolder &f = c.folders[i];
        const unsigned bits = window_bits(f.method);
        std::printf("  %zu\t%s\t%s\t%u%s\t%llu\t%llu\t%s\n", i, method_name(f.method).c_str(),
                    bits ? ("2^" + std::to_string(bits)).c_str() : "-", f.block_count,
                    f.blocks_found == f.block_count
                        ? ""
                        : (" (" + std::to_string(f.blocks_found) + " in the file)").c_str(),
                    static_cast<unsigned long long>(f.compressed),
                    static_cast<unsigned long long>(f.uncompressed), ratio_text(f).c_str());
    }
    std::printf("files %zu\n  folder\toffset\tsize\tdate\ttime\tattributes\tname\n",
                c.files.size());
    for (const LayoutFile &f : c.files) {
        if (!names.selected(f.name, f.attributes)) continue;
        std::printf("  %s\t%u\t%u\t%s\t%s\t%s\t%s\n", folder_text(f.folder_index).c_str(),
                    f.folder_offset, f.size, dos_date(f.date).c_str(), dos_time(f.time).c_str(),
                    joined(attribute_names(f.attributes)).c_str(),
                    printable(names.listed(f.name, f.attributes)).c_str());
    }
}

json header_json(const LayoutHeader &h) {
    return {{"version", std::to_string(h.version >> 8) + "." + std::to_string(h.version & 0xFF)},
            {"cabinet_size", h.cabinet_size},
            {"set_id", h.set_id},
            {"index", h.cabinet_index},
            {"flags", h.flags},
            {"flag_names", flag_names(h.flags)},
            {"previous_cabinet", h.previous_cabinet},
            {"previous_disk", h.previous_disk},
            {"next_cabinet", h.next_cabinet},
            {"next_disk", h.next_disk},
            {"reserve",
             {{"header", h.header_reserve},
              {"folder", h.folder_reserve},
              {"data_block", h.block_reserve}}}};
}

json folder_json(const LayoutFolder &f) {
    return {{"method", method_name(f.method)},
            {"method_value", f.method},
            {"window_bits", window_bits(f.method)},
            {"blocks", f.block_count},
            {"blocks_in_file", f.blocks_found},
            {"compressed_bytes", f.compressed},
            {"uncompressed_bytes", f.uncompressed},
            {"ratio", f.uncompressed ? json(static_cast<double>(f.compressed) /
                                            static_cast<double>(f.uncompressed))
                                     : json(nullptr)}};
}

json file_json(const LayoutFile &f, const FileNames &names) {
    const bool from_previous = f.folder_index == CAB_FOLDER_CONTINUED_FROM_PREV ||
                               f.folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
    const bool to_next = f.folder_index == CAB_FOLDER_CONTINUED_TO_NEXT ||
                         f.folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
    return {{"name", names.output(f.name, f.attributes).value_or(f.name)},
            {"folder", f.folder_index},
            {"continued_from_previous", from_previous},
            {"continued_to_next", to_next},
            {"offset", f.folder_offset},
            {"size", f.size},
            {"date", dos_date(f.date)},
            {"time", dos_time(f.time)},
            {"attributes", f.attributes},
            {"attribute_names", attribute_names(f.attributes)}};
}

json cabinet_json(const CabinetLayout &c, const FileNames &names) {
    json folders = json::array(), files = json::array();
    for (const LayoutFolder &f : c.folders) folders.push_back(folder_json(f));
    for (const LayoutFile &f : c.files)
        if (names.selected(f.name, f.attributes)) files.push_back(file_json(f, names));
    return {{"file_size", c.file_size},
            {"header", header_json(c.header)},
            {"folders", std::move(folders)},
            {"files", std::move(files)}};
}

bool blocks_past_end(const std::string &path, const CabinetLayout &c) {
    for (size_t i = 0; i < c.folders.size(); ++i) {
        if (c.folders[i].blocks_found == c.folders[i].block_count) continue;
        print_failure(path, "CAB_ERR_CORRUPT: the data blocks of folder " + std::to_string(i) +
                                " run past the end of the file");
        return true;
    }
    return false;
}

}  // namespace

int describe_cabinets(const ReadOptions &options) {
    const FileNames names(options);
    json document = {{"cabinets", json::array()}};
    int status = 0;
    CabinetLayout layout;
    for (const std::string &path : options.cabinets) {
        std::string error;
        json entry = {{"path", path}};
        if (!read_layout(path, layout, error)) {
            print_failure(path, error);
            entry["error"] = error;
            status = 1;
        } else {
            if (blocks_past_end(path, layout)) status = 1;
            if (options.json)
                entry.update(cabinet_json(layout, names));
            else
                print_text(path, layout, names);
        }
        if (!options.json && &path != &options.cabinets.back()) std::printf("\n");
        document["cabinets"].push_back(std::move(entry));
    }
    // ASCII only, every other character as \uXXXX: no control character
    // (DEL and C1 included) reaches a terminal the document is shown on.
    // Names that are not valid UTF-8 (a legacy name that did not convert, a
    // path given so) get U+FFFD rather than failing the document.
    if (options.json)
        std::printf("%s\n", document.dump(2, ' ', true, json::error_handler_t::replace).c_str());
    return status;
}

}  // namespace pelmarcab
