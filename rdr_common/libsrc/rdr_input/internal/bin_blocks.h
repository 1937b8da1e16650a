// The bins of a loaded volume in a few large blocks instead of one allocation per ray and
// moment: far fewer fresh pages to fault in, and the blocks are offered to the kernel for
// huge pages. The blocks travel with the volume (UF_RADAR, then STD_RADAR, m_pBinBlocks)
// and are released with it; a bin buffer a caller put in place of one of these is still
// freed on its own.
#ifndef RDR_BIN_BLOCKS_H
#define RDR_BIN_BLOCKS_H

#include <cstddef>

struct StdBinBlocks;

StdBinBlocks* binBlocksNew();
// Room for nBins bins (at least one), aligned for short; null when memory runs out.
short* binBlocksTake(StdBinBlocks* pBlocks, std::size_t nBins);
// True when p lies in one of the blocks (and so must not be passed to free()).
bool binBlocksOwn(const StdBinBlocks* pBlocks, const void* p);
// Releases the blocks and the bookkeeping; null is allowed.
void binBlocksFree(StdBinBlocks* pBlocks);

#endif
