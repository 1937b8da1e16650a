#include "standard_volume.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core_utilities.h"
#include "internal/bin_blocks.h"
#include "internal/ray_ring_walk.h"
#include "internal/standard_volume_builder.h"

namespace {

// calloc that never asks for zero bytes, so an empty level still has a valid array.
template <typename T>
T* callocArray(int iCount) {
    const size_t n = iCount > 0 ? static_cast<size_t>(iCount) : 1;
    return static_cast<T*>(std::calloc(n, sizeof(T)));
}

void freeRay(STD_RAY* pRay, const StdBinBlocks* pBlocks) {
    if (pRay == nullptr) {
        return;
    }
    if (pRay->m_ppField != nullptr) {
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            if (pRay->m_ppField[f] != nullptr) {
                if (!binBlocksOwn(pBlocks, pRay->m_ppField[f]->m_pData)) {
                    std::free(pRay->m_ppField[f]->m_pData);
                }
                std::free(pRay->m_ppField[f]);
            }
        }
        std::free(pRay->m_ppField);
    }
    std::free(pRay);
}

bool rayComplete(const STD_RAY* pRay) {
    if (pRay == nullptr) {
        return false;
    }
    if (pRay->m_iMaxField <= 0) {
        return true;
    }
    if (pRay->m_ppField == nullptr) {
        return false;
    }
    for (int f = 0; f < pRay->m_iMaxField; ++f) {
        if (pRay->m_ppField[f] == nullptr || pRay->m_ppField[f]->m_pData == nullptr) {
            return false;
        }
    }
    return true;
}

// The ray that may take part in a search: present and with a usable azimuth.
inline const STD_RAY* searchableRay(const STD_SWEEP* pSweep, int iRay) {
    if (pSweep->m_ppRay == nullptr) {
        return nullptr;
    }
    const STD_RAY* pRay = pSweep->m_ppRay[iRay];
    if (pRay == nullptr || !std::isfinite(pRay->m_hdr.m_fAzimuth)) {
        return nullptr;
    }
    return pRay;
}

// Azimuth folded into [0, 360), for ordering the ring only.
inline float ringKey(float fAzimuth) {
    float a = std::fmod(fAzimuth, 360.0f);
    if (a < 0.0f) {
        a += 360.0f;
    }
    return a >= 360.0f ? 0.0f : a;
}

}  // namespace

STD_RADAR* newStdRadar(int nSweep) {
    STD_RADAR* pStd = callocArray<STD_RADAR>(1);
    if (pStd == nullptr) {
        return nullptr;
    }
    pStd->m_ppSweep = callocArray<STD_SWEEP*>(nSweep);
    if (pStd->m_ppSweep == nullptr) {
        std::free(pStd);
        return nullptr;
    }
    pStd->m_iMaxSweep = std::max(nSweep, 0);
    return pStd;
}

STD_SWEEP* newStdSweep(int nRay) {
    STD_SWEEP* pSweep = callocArray<STD_SWEEP>(1);
    if (pSweep == nullptr) {
        return nullptr;
    }
    pSweep->m_ppRay = callocArray<STD_RAY*>(nRay);
    if (pSweep->m_ppRay == nullptr) {
        std::free(pSweep);
        return nullptr;
    }
    pSweep->m_iMaxRay = std::max(nRay, 0);
    return pSweep;
}

STD_RAY* newStdRay(int nField) {
    STD_RAY* pRay = callocArray<STD_RAY>(1);
    if (pRay == nullptr) {
        return nullptr;
    }
    pRay->m_ppField = callocArray<STD_FIELD*>(nField);
    if (pRay->m_ppField == nullptr) {
        std::free(pRay);
        return nullptr;
    }
    pRay->m_iMaxField = std::max(nField, 0);
    return pRay;
}

STD_FIELD* newStdField(int nBin, StdBins binMode) {
    STD_FIELD* pField = callocArray<STD_FIELD>(1);
    if (pField == nullptr) {
        return nullptr;
    }
    pField->m_iMaxBin = std::max(nBin, 0);
    if (binMode == StdBins::kNone) {
        return pField;
    }
    pField->m_pData = binMode == StdBins::kNoData
                          ? callocArray<short>(nBin)
                          : static_cast<short*>(std::malloc(sizeof(short) * std::max(nBin, 1)));
    if (pField->m_pData == nullptr) {
        std::free(pField);
        return nullptr;
    }
    if (binMode == StdBins::kNoData) {
        std::fill_n(pField->m_pData, pField->m_iMaxBin, STD_NO_DATA_CODE);
    }
    return pField;
}

STD_RADAR* fnInitStd(int iMaxSweep, int iMaxRay, int iMaxBin, int iMaxField) {
    auto rays = [iMaxRay](int) { return iMaxRay; };
    auto fields = [iMaxField](int, int) { return iMaxField; };
    auto bins = [iMaxBin](int, int, int) { return iMaxBin; };
    return buildStdTree(iMaxSweep, rays, fields, bins, StdBins::kNoData);
}

void fnFreeStdRadar(STD_RADAR* pStd) {
    if (pStd == nullptr) {
        return;
    }
    if (pStd->m_ppSweep != nullptr) {
        for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
            STD_SWEEP* pSweep = pStd->m_ppSweep[s];
            if (pSweep == nullptr) {
                continue;
            }
            if (pSweep->m_ppRay != nullptr) {
                for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
                    freeRay(pSweep->m_ppRay[r], pStd->m_pBinBlocks);
                }
                std::free(pSweep->m_ppRay);
            }
            std::free(pSweep);
        }
        std::free(pStd->m_ppSweep);
    }
    binBlocksFree(pStd->m_pBinBlocks);
    std::free(pStd);
}

int fnValidStdRadar(STD_RADAR* pStd) {
    if (pStd == nullptr || pStd->m_ppSweep == nullptr) {
        return 0;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
            return 0;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            if (!rayComplete(pSweep->m_ppRay[r])) {
                return 0;
            }
        }
    }
    return 1;
}

void fnGetSweepMaxCountStd(STD_SWEEP* pSweep, int* pMaxRay, int* pMaxField, int* pMaxBin) {
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
        return;
    }
    int maxField = 0;
    int maxBin = 0;
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay[r];
        if (pRay == nullptr) {
            continue;
        }
        maxField = std::max(maxField, pRay->m_iMaxField);
        if (pRay->m_ppField == nullptr) {
            continue;
        }
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            if (pRay->m_ppField[f] != nullptr) {
                maxBin = std::max(maxBin, pRay->m_ppField[f]->m_iMaxBin);
            }
        }
    }
    if (pMaxRay != nullptr) {
        *pMaxRay = std::max(pSweep->m_iMaxRay, 0);
    }
    if (pMaxField != nullptr) {
        *pMaxField = maxField;
    }
    if (pMaxBin != nullptr) {
        *pMaxBin = maxBin;
    }
}

int fnGetMaxCountStd(STD_RADAR* pStd, int* pTotalRay, int* pMaxSweep, int* pMaxRay, int* pMaxBin,
                     int* pMaxField) {
    if (pStd == nullptr) {
        return 0;
    }
    int totalRay = 0;
    int maxRay = 0;
    int maxField = 0;
    int maxBin = 0;
    if (pStd->m_ppSweep != nullptr) {
        for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
            STD_SWEEP* pSweep = pStd->m_ppSweep[s];
            if (pSweep == nullptr) {
                continue;
            }
            totalRay += pSweep->m_iMaxRay;
            maxRay = std::max(maxRay, pSweep->m_iMaxRay);
            int sweepField = 0;
            int sweepBin = 0;
            fnGetSweepMaxCountStd(pSweep, nullptr, &sweepField, &sweepBin);
            maxField = std::max(maxField, sweepField);
            maxBin = std::max(maxBin, sweepBin);
        }
    }
    if (pTotalRay != nullptr) {
        *pTotalRay = totalRay;
    }
    if (pMaxSweep != nullptr) {
        *pMaxSweep = std::max(pStd->m_iMaxSweep, 0);
    }
    if (pMaxRay != nullptr) {
        *pMaxRay = maxRay;
    }
    if (pMaxBin != nullptr) {
        *pMaxBin = maxBin;
    }
    if (pMaxField != nullptr) {
        *pMaxField = maxField;
    }
    return 1;
}

float fnGetMaxRangeStd(STD_RADAR* pStd) {
    float maxRange = 0.0f;
    if (pStd == nullptr || pStd->m_ppSweep == nullptr) {
        return maxRange;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
            continue;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr || pRay->m_iMaxField <= 0 || pRay->m_ppField == nullptr ||
                pRay->m_ppField[0] == nullptr) {
                continue;
            }
            const STD_FIELD* pFirst = pRay->m_ppField[0];
            // A field gated unlike its ray carries its own geometry.
            int startKm = pRay->m_hdr.m_iStartRangeKm;
            int startM = pRay->m_hdr.m_iStartRangeMeter;
            int spacingM = pRay->m_hdr.m_iBinSpacing;
            if (pFirst->m_hdr.m_iBinSpacing != 0) {
                startKm = pFirst->m_hdr.m_iStartRangeKm;
                startM = pFirst->m_hdr.m_iStartRangeMeter;
                spacingM = pFirst->m_hdr.m_iBinSpacing;
            }
            const float firstBinKm = static_cast<float>(startKm + startM / 1000.0);
            const float rayRangeKm = static_cast<float>(
                static_cast<double>(pFirst->m_iMaxBin) * spacingM / 1000.0 + firstBinKm);
            maxRange = std::max(maxRange, rayRangeKm);
        }
    }
    return maxRange;
}

int fnStdRadarAzimuthCorrection(STD_RADAR* pStd, float fAzimCor) {
    if (pStd == nullptr || pStd->m_ppSweep == nullptr) {
        return 0;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
            continue;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr) {
                continue;
            }
            float az = pRay->m_hdr.m_fAzimuth + fAzimCor;
            if (az < 0.0f) {
                az += 360.0f;
            } else if (az >= 360.0f) {
                az -= 360.0f;
            }
            pRay->m_hdr.m_fAzimuth = az;
        }
    }
    return 1;
}

int fnGetRayHashIndex(float fRes, float fAzimuth) {
    const float v = fAzimuth / fRes + fRes * 0.5f;
    // Out-of-range or non-finite input (no resolution, corrupt azimuth) must not reach the
    // integer conversion.
    if (!(v > -2.0e9f && v < 2.0e9f)) {
        return 0;
    }
    return static_cast<int>(v);
}

STD_AZIMUTH_TBL* fnMakeRayHashTable(STD_SWEEP* pSweep) {
    if (pSweep == nullptr) {
        return nullptr;
    }
    const int nRay = pSweep->m_iMaxRay;
    STD_AZIMUTH_TBL* pTable = callocArray<STD_AZIMUTH_TBL>(nRay);
    if (pTable == nullptr || nRay <= 0) {
        return pTable;
    }
    for (int i = 0; i < nRay; ++i) {
        pTable[i].m_fAzimuth = -9999.0f;
        pTable[i].m_iCon = -1;
        pTable[i].m_iHigh = -1;
        pTable[i].m_iLow = -1;
    }

    const float fRes = 360.0f / static_cast<float>(nRay);
    std::vector<int> ring;
    ring.reserve(static_cast<size_t>(nRay));
    for (int i = 0; i < nRay; ++i) {
        const STD_RAY* pRay = searchableRay(pSweep, i);
        if (pRay == nullptr) {
            continue;
        }
        int b = fnGetRayHashIndex(fRes, pRay->m_hdr.m_fAzimuth) % nRay;
        if (b < 0) {
            b += nRay;  // azimuth below 0 from an uncorrected source
        }
        pTable[b].m_iCon = i;  // the later ray owns a shared bucket
        pTable[b].m_fAzimuth = pRay->m_hdr.m_fAzimuth;
        ring.push_back(i);
    }

    // The neighbour ring runs in azimuth order over the present rays only, so that the
    // nearest-ray walk also works on sweeps stored out of azimuth order (merged split cuts,
    // sector scans) or holding null rays. For a sweep acquired clockwise this is the
    // acquisition-order ring.
    std::stable_sort(ring.begin(), ring.end(), [pSweep](int a, int b) {
        return ringKey(pSweep->m_ppRay[a]->m_hdr.m_fAzimuth) <
               ringKey(pSweep->m_ppRay[b]->m_hdr.m_fAzimuth);
    });
    const size_t nRing = ring.size();
    for (size_t k = 0; k < nRing; ++k) {
        pTable[ring[k]].m_iHigh = ring[(k + 1) % nRing];
        pTable[ring[k]].m_iLow = ring[(k + nRing - 1) % nRing];
    }
    return pTable;
}

STD_AZIMUTH_TBL** fnMakeAllHashTable(STD_RADAR* pStd) {
    if (pStd == nullptr || pStd->m_ppSweep == nullptr) {
        return nullptr;
    }
    STD_AZIMUTH_TBL** ppTables = callocArray<STD_AZIMUTH_TBL*>(pStd->m_iMaxSweep);
    if (ppTables == nullptr) {
        return nullptr;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        ppTables[s] = fnMakeRayHashTable(pStd->m_ppSweep[s]);
        if (ppTables[s] == nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(ppTables), s);
            return nullptr;
        }
    }
    return ppTables;
}

int fnTheClosestRay(STD_SWEEP* pSweep, STD_AZIMUTH_TBL* pTable, int iHashIdx, float fAzimuth) {
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
        return -1;
    }
    const int nRay = pSweep->m_iMaxRay;
    return rdr_ring::closestRayOnRing(pTable, nRay, iHashIdx, fAzimuth,
                                      [pSweep, nRay](int iRay, float* pAz) {
                                          if (iRay < 0 || iRay >= nRay) {
                                              return false;
                                          }
                                          const STD_RAY* pRay = searchableRay(pSweep, iRay);
                                          if (pRay == nullptr) {
                                              return false;
                                          }
                                          *pAz = rdr_ring::walkAzimuth(pRay->m_hdr.m_fAzimuth);
                                          return true;
                                      });
}

int fnGetFieldIdxRay(STD_RAY* pRay, const char* szFieldName) {
    if (pRay == nullptr || szFieldName == nullptr || pRay->m_ppField == nullptr) {
        return -1;
    }
    for (int f = 0; f < pRay->m_iMaxField; ++f) {
        const STD_FIELD* pField = pRay->m_ppField[f];
        if (pField != nullptr &&
            std::strncmp(pField->m_hdr.m_szFieldName, szFieldName,
                         sizeof(pField->m_hdr.m_szFieldName)) == 0 &&
            std::strlen(szFieldName) < sizeof(pField->m_hdr.m_szFieldName)) {
            return f;
        }
    }
    return -1;
}

bool fnStdRadarHasMoment(STD_RADAR* pStd, const char* szFieldName) {
    if (pStd == nullptr || pStd->m_ppSweep == nullptr || szFieldName == nullptr) {
        return false;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* sweep = pStd->m_ppSweep[s];
        if (sweep == nullptr || sweep->m_ppRay == nullptr) {
            continue;
        }
        for (int r = 0; r < sweep->m_iMaxRay; ++r) {
            if (fnGetFieldIdxRay(sweep->m_ppRay[r], szFieldName) >= 0) {
                return true;
            }
        }
    }
    return false;
}
