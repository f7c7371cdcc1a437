// On-disk layout of MSCF cabinets, shared by the engine and the writer. All
// integers are little-endian and structures packed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cab/bytes.h"

namespace cab {

inline constexpr uint8_t kSignature[4] = {'M', 'S', 'C', 'F'};
inline constexpr uint16_t kVersion = 0x0103;

// Cabinet header.
inline constexpr size_t kHeaderSize = 36;
inline constexpr size_t kHeaderCabinetSize = 8;
inline constexpr size_t kHeaderFilesOffset = 16;
inline constexpr size_t kHeaderVersion = 24;
inline constexpr size_t kHeaderFolderCount = 26;
inline constexpr size_t kHeaderFileCount = 28;
inline constexpr size_t kHeaderFlags = 30;
inline constexpr size_t kHeaderSetId = 32;
inline constexpr size_t kHeaderCabinetIndex = 34;
inline constexpr size_t kReserveSizesSize = 4;  // u16 header, u8 folder, u8 block

inline constexpr uint16_t kFlagPrevious = 0x0001;
inline constexpr uint16_t kFlagNext = 0x0002;
inline constexpr uint16_t kFlagReserve = 0x0004;

// Folder entry (plus the per-folder reserve).
inline constexpr size_t kFolderEntrySize = 8;
inline constexpr size_t kFolderFirstBlock = 0;
inline constexpr size_t kFolderBlockCount = 4;
inline constexpr size_t kFolderMethod = 6;

// File entry (followed by the NUL-terminated name).
inline constexpr size_t kFileEntrySize = 16;
inline constexpr size_t kFileSize = 0;
inline constexpr size_t kFileFolderOffset = 4;
inline constexpr size_t kFileFolderIndex = 8;
inline constexpr size_t kFileDate = 10;
inline constexpr size_t kFileTime = 12;
inline constexpr size_t kFileAttributes = 14;
inline constexpr size_t kMaxNameLength = 255;

// Data block header (plus the per-block reserve).
inline constexpr size_t kBlockHeaderSize = 8;
inline constexpr size_t kBlockChecksum = 0;
inline constexpr size_t kBlockCompressedSize = 4;
inline constexpr size_t kBlockUncompressedSize = 6;

// The most bytes a data block yields: every block of a folder but its last
// holds exactly this many, and the driver decodes into a buffer of this size.
inline constexpr uint32_t kMaxBlockSize = 32768;

// A folder's method value: the method in bits 0-3, the window exponent of
// Quantum and LZX in bits 8-12; the other bits are not examined.
inline constexpr unsigned kMethodStored = 0;
inline constexpr unsigned kMethodMszip = 1;
inline constexpr unsigned kMethodQuantum = 2;
inline constexpr unsigned kMethodLzx = 3;
inline constexpr unsigned kMethodMask = 0x000F;
inline constexpr unsigned kWindowExponentShift = 8;
inline constexpr unsigned kWindowExponentMask = 0x1F;

constexpr unsigned method_kind(uint16_t method_value) { return method_value & kMethodMask; }
constexpr unsigned window_exponent(uint16_t method_value) {
    return (method_value >> kWindowExponentShift) & kWindowExponentMask;
}
constexpr uint16_t method_value(unsigned kind, unsigned window_exponent) {
    return static_cast<uint16_t>((kind & kMethodMask) | (window_exponent & kWindowExponentMask)
                                                            << kWindowExponentShift);
}
constexpr bool is_known_method(unsigned kind) { return kind <= kMethodLzx; }

}  // namespace cab
