// The UF_RADAR tree: allocation, validity and release, for the loader and the UF writer.
#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "core_utilities.h"
#include "internal/uf_radar_tree.h"
#include "uf_radar.h"

namespace {

constexpr const char* kInit = "fnInitUf";

// A ray and its field array, field information and fields share one allocation (see
// ufAllocRay); the bin buffers (unless they lie in the tree's blocks) and the local-use
// copy are allocated on their own.
void freeRay(UF_RAY* pRay, const StdBinBlocks* pBlocks) {
    if (pRay == nullptr) {
        return;
    }
    for (int k = 0; k < pRay->m_iMaxField; ++k) {
        if (!binBlocksOwn(pBlocks, pRay->m_ppField[k]->m_pData)) {
            std::free(pRay->m_ppField[k]->m_pData);
        }
    }
    std::free(pRay->lh.m_pszContent);
    std::free(pRay);
}

constexpr std::size_t alignUp(std::size_t n, std::size_t a) {
    return (n + a - 1) / a * a;
}

}  // namespace

UF_RADAR* fnInitUf() {
    auto* pUf = static_cast<UF_RADAR*>(std::calloc(1, sizeof(UF_RADAR)));
    if (pUf == nullptr) {
        rdrError(kInit, "fnUfInitSweep fail");
        return nullptr;
    }
    pUf->m_ppSweep = static_cast<UF_SWEEP**>(std::calloc(UF_MAX_SWEEP, sizeof(UF_SWEEP*)));
    if (pUf->m_ppSweep == nullptr) {
        std::free(pUf);
        rdrError(kInit, "fnUfInitSweep fail");
        return nullptr;
    }
    return pUf;
}

bool ufEnsureSweepSlots(UF_RADAR* pUf, int iSweepNo) {
    while (pUf->m_iMaxSweep < iSweepNo) {
        auto* pSweep = static_cast<UF_SWEEP*>(std::calloc(1, sizeof(UF_SWEEP)));
        if (pSweep != nullptr) {
            pSweep->m_ppRay = static_cast<UF_RAY**>(std::calloc(UF_MAX_RAY, sizeof(UF_RAY*)));
        }
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
            std::free(pSweep);
            rdrError(kInit, "fnUfInitSweep fail");
            return false;
        }
        pUf->m_ppSweep[pUf->m_iMaxSweep++] = pSweep;
    }
    return true;
}

UF_RAY* ufAllocRay(int nField, const int* pBinCount, StdBinBlocks* pBlocks) {
    if (nField < 0 || nField > UF_MAX_FIELD) {
        return nullptr;
    }
    const std::size_t nSlot = std::max(nField, 1);
    const std::size_t iFieldArray = alignUp(sizeof(UF_RAY), alignof(UF_FIELD*));
    const std::size_t iInfo =
        alignUp(iFieldArray + nSlot * sizeof(UF_FIELD*), alignof(UF_FIELD_INFO));
    const std::size_t iFields = alignUp(iInfo + nSlot * sizeof(UF_FIELD_INFO), alignof(UF_FIELD));
    const std::size_t nBytes = iFields + nField * sizeof(UF_FIELD);
    auto* pBlock = static_cast<unsigned char*>(std::calloc(1, nBytes));
    if (pBlock == nullptr) {
        rdrError(kInit, "fnUfInitRay fail");
        return nullptr;
    }
    auto* pRay = reinterpret_cast<UF_RAY*>(pBlock);
    pRay->m_ppField = reinterpret_cast<UF_FIELD**>(pBlock + iFieldArray);
    pRay->dh.m_pfi = reinterpret_cast<UF_FIELD_INFO*>(pBlock + iInfo);
    auto* pFields = reinterpret_cast<UF_FIELD*>(pBlock + iFields);
    for (int k = 0; k < nField; ++k) {
        UF_FIELD* pField = &pFields[k];
        pRay->m_ppField[k] = pField;
        pRay->m_iMaxField = k + 1;
        if (pBinCount[k] < 0) {
            continue;  // left out: no buffer
        }
        pField->m_iMaxBin = std::max(pBinCount[k], 1);
        pField->m_pData = pBlocks != nullptr
                              ? binBlocksTake(pBlocks, pField->m_iMaxBin)
                              : static_cast<short*>(std::malloc(sizeof(short) * pField->m_iMaxBin));
        if (pField->m_pData == nullptr) {
            freeRay(pRay, pBlocks);
            rdrError(kInit, "fnUfInitBin fail");
            return nullptr;
        }
    }
    return pRay;
}

int fnValidUf(UF_RADAR* pUf) {
    if (pUf == nullptr || pUf->m_ppSweep == nullptr) {
        return 0;
    }
    if (pUf->m_iMaxSweep > UF_MAX_SWEEP || pUf->m_iCurSweep > std::max(pUf->m_iMaxSweep, 0)) {
        return 0;
    }
    for (int s = 0; s < pUf->m_iMaxSweep; ++s) {
        const UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr || pSweep->m_iMaxRay > UF_MAX_RAY ||
            pSweep->m_iCurRay > std::max(pSweep->m_iMaxRay, 0)) {
            return 0;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const UF_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr || pRay->m_ppField == nullptr || pRay->dh.m_pfi == nullptr ||
                pRay->m_iCurField > std::max(pRay->m_iMaxField, 0)) {
                return 0;
            }
            for (int k = 0; k < pRay->m_iMaxField; ++k) {
                const UF_FIELD* pField = pRay->m_ppField[k];
                const bool bLeftOut = pField != nullptr && pField->m_iMaxBin == 0;
                if (pField == nullptr || (pField->m_pData == nullptr && !bLeftOut) ||
                    (pField->m_iCurBin > pField->m_iMaxBin && !bLeftOut)) {
                    return 0;
                }
            }
        }
    }
    return 1;
}

void fnFreeUfRadar(UF_RADAR* pUf) {
    if (pUf == nullptr) {
        return;
    }
    if (pUf->m_ppSweep != nullptr) {
        for (int s = 0; s < pUf->m_iMaxSweep; ++s) {
            UF_SWEEP* pSweep = pUf->m_ppSweep[s];
            if (pSweep == nullptr) {
                continue;
            }
            if (pSweep->m_ppRay != nullptr) {
                for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
                    freeRay(pSweep->m_ppRay[r], pUf->m_pBinBlocks);
                }
            }
            std::free(pSweep->m_ppRay);
            std::free(pSweep);
        }
    }
    std::free(pUf->m_ppSweep);
    binBlocksFree(pUf->m_pBinBlocks);
    std::free(pUf);
}
