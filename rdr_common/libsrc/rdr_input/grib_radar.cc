// Allocation and release of the GRIB reader's volume.
#include <cstdlib>

#include "grib_radar.h"
#include "internal/bin_blocks.h"
#include "internal/grib_volume_input.h"

namespace {

template <class T>
T* zeroed(long n) {
    return static_cast<T*>(std::calloc(static_cast<std::size_t>(n), sizeof(T)));
}

GRIB_VOLUME* newVolume(int nRay, int nBin, int iNoData, StdBinBlocks* pBlocks, short* pRows) {
    if (nBin < 1 || static_cast<long>(nRay) * nBin > GRIB_MAX_VALUES) {
        return nullptr;
    }
    auto* pVolume = zeroed<GRIB_VOLUME>(1);
    if (pVolume == nullptr) {
        return nullptr;
    }
    pVolume->m_iMaxBin = nBin;
    const long nValues = static_cast<long>(nRay) * nBin;
    if (pRows != nullptr) {
        pVolume->m_pData = pRows;
    } else if (pBlocks != nullptr) {
        pVolume->m_pData = binBlocksTake(pBlocks, static_cast<std::size_t>(nValues));
    } else {
        pVolume->m_pData = static_cast<short*>(std::malloc(sizeof(short) * nValues));
    }
    pVolume->m_pFieldSlot = zeroed<unsigned char>(nRay);
    pVolume->m_pBinNumber = zeroed<long>(nRay);
    pVolume->m_pScaleFactor = zeroed<long>(nRay);
    pVolume->m_pStartRange = zeroed<long>(nRay);
    pVolume->m_pBinSpacing = zeroed<long>(nRay);
    if (pVolume->m_pData == nullptr || pVolume->m_pFieldSlot == nullptr ||
        pVolume->m_pBinNumber == nullptr || pVolume->m_pScaleFactor == nullptr ||
        pVolume->m_pStartRange == nullptr || pVolume->m_pBinSpacing == nullptr) {
        return pVolume;  // the caller frees the incomplete volume with the rest
    }
    for (long i = 0; pBlocks == nullptr && pRows == nullptr && i < nValues; ++i) {
        pVolume->m_pData[i] = static_cast<short>(iNoData);
    }
    return pVolume;
}

bool volumeComplete(const GRIB_VOLUME* p) {
    return p != nullptr && p->m_pData != nullptr && p->m_pFieldSlot != nullptr &&
           p->m_pBinNumber != nullptr && p->m_pScaleFactor != nullptr &&
           p->m_pStartRange != nullptr && p->m_pBinSpacing != nullptr;
}

}  // namespace

GRIB_RADAR* fnInitGribRadar(int iMaxSweep, int iMaxRay, int iMaxField, const int* pBinCounts) {
    return newGribRadar(iMaxSweep, iMaxRay, iMaxField, pBinCounts, false);
}

GRIB_RADAR* newGribRadar(int iMaxSweep, int iMaxRay, int iMaxField, const int* pBinCounts,
                         bool bBlocks, short* const* ppRows) {
    if (iMaxSweep < 1 || iMaxRay < 1 || iMaxSweep > iMaxRay || iMaxField < 1 ||
        iMaxField > GRIB_MAX_FIELD || pBinCounts == nullptr) {
        return nullptr;
    }
    // Every moment's size is checked before anything is allocated; the per-ray arrays are
    // bounded by it too.
    for (int k = 0; k < iMaxField; ++k) {
        if (pBinCounts[k] < 1 || static_cast<long>(iMaxRay) * pBinCounts[k] > GRIB_MAX_VALUES) {
            return nullptr;
        }
    }
    auto* pGrib = zeroed<GRIB_RADAR>(1);
    if (pGrib == nullptr) {
        return nullptr;
    }
    GRIB_GLOBAL_HDR& hdr = pGrib->m_hdr;
    hdr.m_iMaxSweep = iMaxSweep;
    hdr.m_iMaxRay = iMaxRay;
    hdr.m_iMaxField = iMaxField;
    hdr.m_iNoDataValue = STD_NO_DATA_CODE;
    hdr.m_pMaxRay = zeroed<long>(iMaxSweep);
    hdr.m_pSweepHdr = zeroed<STD_SWEEP_HDR>(iMaxSweep);
    hdr.m_pMaxBin = zeroed<long>(iMaxRay);
    hdr.m_pRayTime = zeroed<double>(iMaxRay);
    hdr.m_pRayAzimuth = zeroed<double>(iMaxRay);
    hdr.m_pRayElevation = zeroed<double>(iMaxRay);
    hdr.m_pRayFixedAngle = zeroed<double>(iMaxRay);
    hdr.m_pRayStartRange = zeroed<long>(iMaxRay);
    hdr.m_pRayBinSpacing = zeroed<long>(iMaxRay);
    hdr.m_pRaySampleSize = zeroed<long>(iMaxRay);
    pGrib->m_ppVolume = zeroed<GRIB_VOLUME*>(iMaxField);
    bBlocks = bBlocks && ppRows == nullptr;
    if (bBlocks) {
        pGrib->m_pBinBlocks = binBlocksNew();
    }
    bool bOk = hdr.m_pMaxRay != nullptr && hdr.m_pSweepHdr != nullptr && hdr.m_pMaxBin != nullptr &&
               hdr.m_pRayTime != nullptr && hdr.m_pRayAzimuth != nullptr &&
               hdr.m_pRayElevation != nullptr && hdr.m_pRayFixedAngle != nullptr &&
               hdr.m_pRayStartRange != nullptr && hdr.m_pRayBinSpacing != nullptr &&
               hdr.m_pRaySampleSize != nullptr && pGrib->m_ppVolume != nullptr &&
               (!bBlocks || pGrib->m_pBinBlocks != nullptr);
    if (bOk) {
        pGrib->m_iMaxVolume = iMaxField;
        for (int k = 0; k < iMaxField && bOk; ++k) {
            pGrib->m_ppVolume[k] =
                newVolume(iMaxRay, pBinCounts[k], hdr.m_iNoDataValue, pGrib->m_pBinBlocks,
                          ppRows != nullptr ? ppRows[k] : nullptr);
            bOk = volumeComplete(pGrib->m_ppVolume[k]);
            if (bOk && pBinCounts[k] > hdr.m_iMaxBin) {
                hdr.m_iMaxBin = pBinCounts[k];
            }
        }
    }
    if (!bOk) {
        for (int k = 0; ppRows != nullptr && k < pGrib->m_iMaxVolume; ++k) {
            if (pGrib->m_ppVolume[k] != nullptr) {
                pGrib->m_ppVolume[k]->m_pData = nullptr;
            }
        }
        fnFreeGribRadar(pGrib);
        return nullptr;
    }
    return pGrib;
}

void fnFreeGribRadar(GRIB_RADAR* pGrib) {
    if (pGrib == nullptr) {
        return;
    }
    for (int k = 0; pGrib->m_ppVolume != nullptr && k < pGrib->m_iMaxVolume; ++k) {
        GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        if (p != nullptr) {
            if (!binBlocksOwn(pGrib->m_pBinBlocks, p->m_pData)) {
                std::free(p->m_pData);
            }
            std::free(p->m_pFieldSlot);
            std::free(p->m_pBinNumber);
            std::free(p->m_pScaleFactor);
            std::free(p->m_pStartRange);
            std::free(p->m_pBinSpacing);
            std::free(p);
        }
    }
    std::free(pGrib->m_ppVolume);
    binBlocksFree(pGrib->m_pBinBlocks);
    GRIB_GLOBAL_HDR& hdr = pGrib->m_hdr;
    std::free(hdr.m_pMaxRay);
    std::free(hdr.m_pSweepHdr);
    std::free(hdr.m_pMaxBin);
    std::free(hdr.m_pRayTime);
    std::free(hdr.m_pRayAzimuth);
    std::free(hdr.m_pRayElevation);
    std::free(hdr.m_pRayFixedAngle);
    std::free(hdr.m_pRayStartRange);
    std::free(hdr.m_pRayBinSpacing);
    std::free(hdr.m_pRaySampleSize);
    std::free(pGrib);
}
