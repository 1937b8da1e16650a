// Building a STD_RADAR tree of any shape, for fnInitStd and every sync-up. Every level is
// calloc'd and every array has at least one slot, so that fnFreeStdRadar releases the tree
// whatever a caller does with it, including a tree left incomplete by a failed allocation.
#ifndef RDR_STANDARD_VOLUME_BUILDER_H
#define RDR_STANDARD_VOLUME_BUILDER_H

#include "standard_volume.h"

// What the builder does with each field's bins.
enum class StdBins {
    kNone,           // m_pData stays null: the caller hands over buffers it owns
    kUninitialised,  // malloc'd, for a caller that fills every bin
    kNoData,         // filled with STD_NO_DATA_CODE
};

// A tree of nSweep sweeps, sweep s with rays(s) rays, ray r of sweep s with fields(s, r)
// fields, field f with bins(s, r, f) bins. Counts below zero count as zero. Null when an
// allocation fails (nothing is left behind).
template <class Rays, class Fields, class BinCount>
STD_RADAR* buildStdTree(int nSweep, Rays rays, Fields fields, BinCount bins, StdBins binMode);

// The levels the template is made of.
STD_RADAR* newStdRadar(int nSweep);
STD_SWEEP* newStdSweep(int nRay);
STD_RAY* newStdRay(int nField);
STD_FIELD* newStdField(int nBin, StdBins binMode);

template <class Rays, class Fields, class BinCount>
STD_RADAR* buildStdTree(int nSweep, Rays rays, Fields fields, BinCount bins, StdBins binMode) {
    STD_RADAR* pStd = newStdRadar(nSweep);
    if (pStd == nullptr) {
        return nullptr;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s] = newStdSweep(rays(s));
        for (int r = 0; pSweep != nullptr && r < pSweep->m_iMaxRay; ++r) {
            STD_RAY* pRay = pSweep->m_ppRay[r] = newStdRay(fields(s, r));
            for (int f = 0; pRay != nullptr && f < pRay->m_iMaxField; ++f) {
                pRay->m_ppField[f] = newStdField(bins(s, r, f), binMode);
                if (pRay->m_ppField[f] == nullptr) {
                    pRay = nullptr;
                }
            }
            if (pRay == nullptr) {
                pSweep = nullptr;
            }
        }
        if (pSweep == nullptr) {
            fnFreeStdRadar(pStd);
            return nullptr;
        }
    }
    return pStd;
}

#endif
