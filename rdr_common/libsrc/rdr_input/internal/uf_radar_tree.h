// Building a UF_RADAR tree, shared by the loader (slots made as records arrive) and the UF
// writer's sync-down (slots made from a standard volume). fnFreeUfRadar releases either.
#ifndef RDR_UF_RADAR_TREE_H
#define RDR_UF_RADAR_TREE_H

#include "internal/bin_blocks.h"
#include "uf_radar.h"

// An empty tree with room for UF_MAX_SWEEP sweep slots. Null with a message on failure.
UF_RADAR* fnInitUf();

// Makes sweep slots exist up to sweep number iSweepNo (1 to UF_MAX_SWEEP, checked by the
// caller), each with room for UF_MAX_RAY rays. False with a message on failure.
bool ufEnsureSweepSlots(UF_RADAR* pUf, int iSweepNo);

// A ray of nField field slots in one allocation (ray, field array, field information,
// fields), each field with a bin buffer of pBinCount[k] values (at least one): its own
// malloc'd one, or one taken from pBlocks when given. A negative count leaves the field
// without a buffer (a moment left out). Null with a message on failure.
UF_RAY* ufAllocRay(int nField, const int* pBinCount, StdBinBlocks* pBlocks = nullptr);

#endif
