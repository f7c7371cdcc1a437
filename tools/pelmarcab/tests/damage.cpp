#include "tools/pelmarcab/tests/damage.h"

#include <stdexcept>

#include "cab/checksum.h"
#include "cab/format.h"

namespace pelmarcab::testing {
namespace {

uint16_t u16_at(const std::vector<uint8_t> &bytes, size_t at) {
    if (at + 2 > bytes.size()) throw std::runtime_error("cabinet cut short");
    return cab::load_u16(&bytes[at]);
}

uint32_t u32_at(const std::vector<uint8_t> &bytes, size_t at) {
    if (at + 4 > bytes.size()) throw std::runtime_error("cabinet cut short");
    return cab::load_u32(&bytes[at]);
}

}  // namespace

CabinetMap map_cabinet(const std::vector<uint8_t> &cab) {
    using namespace cab;
    const uint16_t flags = u16_at(cab, kHeaderFlags);
    size_t at = kHeaderSize;
    size_t folder_reserve = 0, block_reserve = 0;
    if (flags & kFlagReserve) {
        at += kReserveSizesSize + u16_at(cab, kHeaderSize);
        folder_reserve = cab[kHeaderSize + 2];
        block_reserve = cab[kHeaderSize + 3];
    }
    const int names = ((flags & kFlagPrevious) ? 2 : 0) + ((flags & kFlagNext) ? 2 : 0);
    for (int i = 0; i < names; ++i)
        while (cab.at(at++) != 0) {}
    CabinetMap layout{at, u32_at(cab, kHeaderFilesOffset), kBlockHeaderSize + block_reserve, {}};
    const size_t folders = u16_at(cab, kHeaderFolderCount);
    for (size_t f = 0; f < folders; ++f) {
        const size_t entry = layout.folder_table + f * (kFolderEntrySize + folder_reserve);
        size_t block = u32_at(cab, entry + kFolderFirstBlock);
        std::vector<BlockPlace> places;
        for (size_t n = u16_at(cab, entry + kFolderBlockCount); n > 0; --n) {
            const BlockPlace place{block, block + layout.data_header_size,
                                   u16_at(cab, block + kBlockCompressedSize),
                                   u16_at(cab, block + kBlockUncompressedSize)};
            places.push_back(place);
            block = place.data + place.compressed;
        }
        layout.blocks.push_back(places);
    }
    return layout;
}

void break_checksum(std::vector<uint8_t> &cabinet, const BlockPlace &block) {
    cabinet.at(block.data + block.compressed / 2) ^= 0x01;
}

void break_stream(std::vector<uint8_t> &cabinet, const BlockPlace &block, size_t header_size) {
    for (size_t i = 0; i < 4 && i < block.compressed; ++i) cabinet.at(block.data + i) = 0xFF;
    const uint32_t sum =
        cab::cabinet_checksum(&cabinet[block.header + 4], header_size - 4,
                              cab::cabinet_checksum(&cabinet[block.data], block.compressed, 0));
    cab::store_u32(&cabinet[block.header + cab::kBlockChecksum], sum);
}

}  // namespace pelmarcab::testing
