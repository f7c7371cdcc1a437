#include <algorithm>

#include "cab/writer/compressor.h"

namespace cabwriter {
namespace {

class StoredCompressor final : public FolderCompressor {
public:
    std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) override {
        std::vector<CompressedBlock> blocks;
        for (size_t at = 0; at < folder.size(); at += cab::kMaxBlockSize) {
            const size_t n = std::min<size_t>(cab::kMaxBlockSize, folder.size() - at);
            auto part = folder.subspan(at, n);
            blocks.push_back({{part.begin(), part.end()}, static_cast<uint16_t>(n)});
        }
        return blocks;
    }
};

}  // namespace

std::unique_ptr<FolderCompressor> make_stored_compressor() {
    return std::make_unique<StoredCompressor>();
}

}  // namespace cabwriter
