// Each MSZIP data block is "CK" and a raw Deflate stream ending with a final
// block. The stream of block n is compressed with block n-1 as its preset
// dictionary, so its matches may reach into the previous block, which the
// decoder still holds as its history.
#include "cab/writer/mszip_compressor.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace cabwriter {
namespace {

// Largest data block the decoder accepts: the block size plus 12.
constexpr size_t kMaxCompressedBlock = cab::kMaxBlockSize + 12;
constexpr int kRawDeflateWindowBits = -15;
constexpr int kMemoryLevel = 8;

int zlib_strategy(DeflateStrategy strategy) {
    switch (strategy) {
        case DeflateStrategy::Filtered: return Z_FILTERED;
        case DeflateStrategy::HuffmanOnly: return Z_HUFFMAN_ONLY;
        case DeflateStrategy::Rle: return Z_RLE;
        case DeflateStrategy::Fixed: return Z_FIXED;
        case DeflateStrategy::Default: break;
    }
    return Z_DEFAULT_STRATEGY;
}

// "CK" and one final stored Deflate block: the fallback for data that
// Deflate would expand beyond what a data block may hold.
std::vector<uint8_t> stored_block(std::span<const uint8_t> data) {
    const auto n = static_cast<uint16_t>(data.size());
    std::vector<uint8_t> out = {'C',
                                'K',
                                0x01,  // final bit set, block type 0
                                static_cast<uint8_t>(n),
                                static_cast<uint8_t>(n >> 8),
                                static_cast<uint8_t>(~n),
                                static_cast<uint8_t>(~n >> 8)};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

class MszipCompressor final : public FolderCompressor {
public:
    explicit MszipCompressor(const MszipOptions &options) {
        if (deflateInit2(&stream_, options.level, Z_DEFLATED, kRawDeflateWindowBits, kMemoryLevel,
                         zlib_strategy(options.strategy)) != Z_OK)
            throw std::runtime_error("mszip: cannot initialise the Deflate compressor");
    }
    ~MszipCompressor() override { deflateEnd(&stream_); }
    MszipCompressor(const MszipCompressor &) = delete;
    MszipCompressor &operator=(const MszipCompressor &) = delete;

    std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) override {
        std::vector<CompressedBlock> blocks;
        std::span<const uint8_t> previous;
        for (size_t at = 0; at < folder.size(); at += cab::kMaxBlockSize) {
            const auto block =
                folder.subspan(at, std::min<size_t>(cab::kMaxBlockSize, folder.size() - at));
            blocks.push_back(
                {compress_block(block, previous), static_cast<uint16_t>(block.size())});
            previous = block;
        }
        return blocks;
    }

private:
    std::vector<uint8_t> compress_block(std::span<const uint8_t> block,
                                        std::span<const uint8_t> previous) {
        if (deflateReset(&stream_) != Z_OK ||
            (!previous.empty() && deflateSetDictionary(&stream_, previous.data(),
                                                       static_cast<uInt>(previous.size())) != Z_OK))
            throw std::runtime_error("mszip: cannot reset the Deflate compressor");
        std::vector<uint8_t> out(2 + deflateBound(&stream_, static_cast<uLong>(block.size())));
        out[0] = 'C';
        out[1] = 'K';
        stream_.next_in = const_cast<Bytef *>(block.data());
        stream_.avail_in = static_cast<uInt>(block.size());
        stream_.next_out = out.data() + 2;
        stream_.avail_out = static_cast<uInt>(out.size() - 2);
        if (deflate(&stream_, Z_FINISH) != Z_STREAM_END)
            throw std::runtime_error("mszip: Deflate did not finish the block");
        out.resize(out.size() - stream_.avail_out);
        return out.size() <= kMaxCompressedBlock ? out : stored_block(block);
    }

    z_stream stream_{};
};

}  // namespace

std::unique_ptr<FolderCompressor> make_mszip_compressor(const MszipOptions &options) {
    return std::make_unique<MszipCompressor>(options);
}

std::unique_ptr<FolderCompressor> make_mszip_compressor() {
    return make_mszip_compressor(MszipOptions{});
}

}  // namespace cabwriter
