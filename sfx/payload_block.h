// The configuration block as both its reader (options.cpp) and its writer
// (sfx_writer.cpp) know it: the keys, the field each fills on either side,
// the longest value each takes, and the bytes that end the block. The
// marker of four '$' that opens the block is not here: the installer's own
// image must never contain it, so only the writer spells it out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sfx/settings.h"

namespace sfx {

// The block's values as the writer takes them; an absent value writes no
// entry.
struct SfxBlock {
    std::optional<std::string> cabinet_name;  // $CABINET
    std::optional<std::string> title;         // $TITLE
    std::optional<std::string> message;       // $MSG
    std::optional<std::string> options;       // $CMDLINE
};

struct BlockEntry {
    std::string_view key;  // as stored, '$' included
    size_t limit;          // longest value
    std::string PayloadConfig::*read_into;
    std::optional<std::string> SfxBlock::*written_from;
};

// Every key the reader keeps, in the order the writer writes them.
inline constexpr BlockEntry kBlockEntries[] = {
    {"$CABINET", kMaxText, &PayloadConfig::cabinet_name, &SfxBlock::cabinet_name},
    {"$TITLE", kMaxText, &PayloadConfig::title, &SfxBlock::title},
    {"$MSG", kMaxMessage, &PayloadConfig::message, &SfxBlock::message},
    {"$CMDLINE", kMaxText, &PayloadConfig::command_line, &SfxBlock::options},
};

// A lone '$' directly followed by the cabinet's own signature ends the
// block.
inline constexpr std::string_view kBlockTerminator = "$MSCF";

}  // namespace sfx
