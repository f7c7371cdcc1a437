#include "tools/pelmarcab/read_messages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/pelmarcab/file_host.h"

namespace pelmarcab {
namespace {

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFFu);
    return text;
}

}  // namespace

std::string version_failure(unsigned version_found) {
    return std::string(error_name(CAB_ERR_VERSION)) + " (detail " + hex4(version_found) + ")";
}

std::string signature_failure() {
    return std::string(error_name(CAB_ERR_SIGNATURE)) +
           ": not a cabinet (it does not start with MSCF)";
}

std::string next_cabinet_failure(const CabNotification &note, const std::string &folder) {
    const std::string reason = error_name(note.error);
    const std::string where = folder.empty() ? "the current directory" : folder;
    switch (note.error) {
        case CAB_ERR_OPEN:
            return reason + ": the set continues in " + note.name + ", which is not in " + where +
                   "; put it there, or give --single to read this cabinet alone";
        case CAB_ERR_SET:
            return reason + ": it does not continue set " + hex4(note.set_id) + " (index " +
                   std::to_string(note.cabinet_index) + " expected); put the set's own " +
                   note.name + " in " + where;
        default: return reason;
    }
}

std::string truncation_failure(uint16_t folder_index) {
    const std::string folder = folder_index < CAB_FOLDER_CONTINUED_FROM_PREV
                                   ? "folder " + std::to_string(folder_index)
                                   : std::string("its last folder");
    return std::string(error_name(CAB_ERR_ABORT)) + ": the cabinet ends before " + folder +
           " does and names no next cabinet";
}

std::string walk_failure(const CabError &error, const WalkState &state) {
    const std::string reason = error_name(error.code);
    switch (error.code) {
        case CAB_ERR_VERSION: return version_failure(static_cast<unsigned>(error.detail));
        case CAB_ERR_SIGNATURE: return signature_failure();
        case CAB_ERR_OPEN: {
            struct stat st {};
            std::string text = reason;
            if (::stat(state.cabinet.c_str(), &st) != 0)
                text += std::string(": ") + std::strerror(errno);
            if (state.set_member)
                text +=
                    "; the set continues in it: put it there, or give --single to stop before it";
            return text;
        }
        case CAB_ERR_CORRUPT:
            return reason + ": the cabinet is damaged (a checksum, size or offset is wrong)";
        case CAB_ERR_DECODE: {
            std::string text = reason + ": the compressed data is damaged";
            if (!state.file.empty()) text += "; " + state.file + " is incomplete";
            if (state.fault && state.verbose) text += std::string(" (") + state.fault + ")";
            if (state.fault && !state.verbose) text += " (-v tells where decoding stopped)";
            return text;
        }
        default: return reason;
    }
}

}  // namespace pelmarcab
