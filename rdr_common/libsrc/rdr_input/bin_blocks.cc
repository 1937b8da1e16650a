#include "internal/bin_blocks.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLargestBlock = std::size_t{16} << 20;

struct Block {
    unsigned char* pBase;
    std::size_t nSize;
    std::size_t nUsed;
};

}  // namespace

struct StdBinBlocks {
    std::vector<Block> blocks;
    std::size_t nTotal = 0;
};

StdBinBlocks* binBlocksNew() {
    return new (std::nothrow) StdBinBlocks;
}

short* binBlocksTake(StdBinBlocks* pBlocks, std::size_t nBins) {
    const std::size_t nBytes = (std::max<std::size_t>(nBins, 1) * sizeof(short) + 15) / 16 * 16;
    if (pBlocks->blocks.empty() ||
        pBlocks->blocks.back().nSize - pBlocks->blocks.back().nUsed < nBytes) {
        // Each block as large as all before it (2 to 16 MB), in whole huge pages.
        std::size_t nSize = std::clamp(pBlocks->nTotal, kHugePage, kLargestBlock);
        nSize = (std::max(nSize, nBytes) + kHugePage - 1) / kHugePage * kHugePage;
        auto* pBase = static_cast<unsigned char*>(std::aligned_alloc(kHugePage, nSize));
        if (pBase == nullptr) {
            return nullptr;
        }
        try {
            pBlocks->blocks.push_back(Block{pBase, nSize, 0});
        } catch (const std::bad_alloc&) {
            std::free(pBase);
            return nullptr;
        }
        pBlocks->nTotal += nSize;
        madvise(pBase, nSize, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
    }
    Block& b = pBlocks->blocks.back();
    auto* p = reinterpret_cast<short*>(b.pBase + b.nUsed);
    b.nUsed += nBytes;
    return p;
}

bool binBlocksOwn(const StdBinBlocks* pBlocks, const void* p) {
    if (pBlocks == nullptr || p == nullptr) {
        return false;
    }
    const std::less<const void*> before;
    for (const Block& b : pBlocks->blocks) {
        if (!before(p, b.pBase) && before(p, b.pBase + b.nSize)) {
            return true;
        }
    }
    return false;
}

void binBlocksFree(StdBinBlocks* pBlocks) {
    if (pBlocks == nullptr) {
        return;
    }
    for (const Block& b : pBlocks->blocks) {
        std::free(b.pBase);
    }
    delete pBlocks;
}
