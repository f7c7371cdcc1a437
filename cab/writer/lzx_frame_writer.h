// The LZX compressor's bit output, frame by frame.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "cab/bytes.h"
#include "cab/format.h"
#include "cab/lzx_format.h"
#include "cab/writer/compressor.h"

namespace cabwriter::lzx {

// Largest compressed frame the decoder's input buffer holds.
inline constexpr size_t kMaxCompressedFrame = cab::kMaxBlockSize + cab::lzx::kFrameInputExtra;

// Collects one frame's bytes. Bits fill 16-bit little-endian words from the
// most significant end; raw bytes (uncompressed blocks) go in between words.
class FrameWriter {
public:
    explicit FrameWriter(std::vector<CompressedBlock> &frames) : frames_(frames) {}

    void put_bits(uint32_t value, unsigned n) {
        acc_ = acc_ << n | value;
        pending_ += n;
        while (pending_ >= 16) {
            pending_ -= 16;
            const auto word = static_cast<uint16_t>(acc_ >> pending_);
            bytes_.push_back(static_cast<uint8_t>(word));
            bytes_.push_back(static_cast<uint8_t>(word >> 8));
        }
    }
    // Pads to the next word boundary, or a whole word when already on one:
    // what the decoder skips after an uncompressed block's header.
    void pad_after_uncompressed_header() { put_bits(0, 16 - pending_); }
    void put_raw(const uint8_t *p, size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    void put_raw_le32(uint32_t v) {
        uint8_t b[4];
        cab::store_u32(b, v);
        put_raw(b, 4);
    }
    // Ends the frame of `uncompressed` bytes; the bitstream restarts on a
    // fresh word in the next one.
    void end_frame(uint32_t uncompressed) {
        if (pending_) put_bits(0, 16 - pending_);
        if (bytes_.size() > kMaxCompressedFrame)
            throw std::logic_error("lzx frame exceeds the decoder's input buffer");
        frames_.push_back({std::move(bytes_), static_cast<uint16_t>(uncompressed)});
        bytes_ = {};
    }

private:
    std::vector<CompressedBlock> &frames_;
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    unsigned pending_ = 0;
};

}  // namespace cabwriter::lzx
