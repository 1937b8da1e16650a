// Allocation, release and counts of the HDF_RADAR records. Every level is calloc'd, so a
// fresh record is zero-filled, and fnFreeHdfRadar releases a record left incomplete by a
// failed allocation.
#include <algorithm>
#include <cstdlib>

#include "core_utilities.h"
#include "hdf_radar.h"

namespace {

// Rows of a data item's matrix: its own polar where, else its dataset's.
long matrixRows(const HDF_DATASET* pDataset, const HDF_DATA* pData) {
    const long own = pData->m_where.m_polar_where.m_nRays;
    return own > 0 ? own : pDataset->m_where.m_polar_where.m_nRays;
}

void freeRayHow(HDF_RAY_HOW* pRayHow) {
    if (pRayHow == nullptr) {
        return;
    }
    for (double* p : {pRayHow->m_pStartazA, pRayHow->m_pStopazA, pRayHow->m_pStartazT,
                      pRayHow->m_pStopazT, pRayHow->m_pElangles}) {
        std::free(p);
    }
    std::free(pRayHow);
}

template <class Quality>
void freeQualities(Quality** ppQuality, int nQuality, long nRows) {
    if (ppQuality == nullptr) {
        return;
    }
    for (int q = 0; q < nQuality; ++q) {
        if (ppQuality[q] != nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(ppQuality[q]->m_ppData),
                           static_cast<int>(std::clamp<long>(nRows, 0, 1L << 30)));
            std::free(ppQuality[q]);
        }
    }
    std::free(ppQuality);
}

void freeDataset(HDF_DATASET* pDataset) {
    if (pDataset == nullptr) {
        return;
    }
    const long datasetRows = pDataset->m_where.m_polar_where.m_nRays;
    if (pDataset->m_ppData != nullptr) {
        for (int d = 0; d < pDataset->m_iMaxData; ++d) {
            HDF_DATA* pData = pDataset->m_ppData[d];
            if (pData == nullptr) {
                continue;
            }
            const long rows = matrixRows(pDataset, pData);
            fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData),
                           static_cast<int>(std::clamp<long>(rows, 0, 1L << 30)));
            freeQualities(pData->m_ppQuality, pData->m_iMaxQuality, rows);
            std::free(pData);
        }
        std::free(pDataset->m_ppData);
    }
    freeQualities(pDataset->m_ppQuality, pDataset->m_iMaxQuality, datasetRows);
    freeRayHow(pDataset->m_pRayHow);
    std::free(pDataset);
}

}  // namespace

HDF_RADAR* fnInitHdfRadar(int iMaxSweep, int iMaxField, int, int) {
    if (iMaxSweep < 1 || iMaxField < 0) {
        return nullptr;
    }
    auto* pHdf = static_cast<HDF_RADAR*>(std::calloc(1, sizeof(HDF_RADAR)));
    if (pHdf == nullptr) {
        return nullptr;
    }
    pHdf->m_ppDataset = static_cast<HDF_DATASET**>(std::calloc(iMaxSweep, sizeof(HDF_DATASET*)));
    if (pHdf->m_ppDataset == nullptr) {
        std::free(pHdf);
        return nullptr;
    }
    pHdf->m_iMaxDataset = iMaxSweep;
    for (int s = 0; s < iMaxSweep; ++s) {
        auto* pDataset = static_cast<HDF_DATASET*>(std::calloc(1, sizeof(HDF_DATASET)));
        pHdf->m_ppDataset[s] = pDataset;
        if (pDataset == nullptr) {
            fnFreeHdfRadar(pHdf);
            return nullptr;
        }
        pDataset->m_ppData =
            static_cast<HDF_DATA**>(std::calloc(std::max(iMaxField, 1), sizeof(HDF_DATA*)));
        if (pDataset->m_ppData == nullptr) {
            fnFreeHdfRadar(pHdf);
            return nullptr;
        }
        pDataset->m_iMaxData = iMaxField;
        for (int d = 0; d < iMaxField; ++d) {
            pDataset->m_ppData[d] = static_cast<HDF_DATA*>(std::calloc(1, sizeof(HDF_DATA)));
            if (pDataset->m_ppData[d] == nullptr) {
                fnFreeHdfRadar(pHdf);
                return nullptr;
            }
        }
    }
    return pHdf;
}

void fnFreeHdfRadar(HDF_RADAR* pHdf) {
    if (pHdf == nullptr) {
        return;
    }
    if (pHdf->m_ppDataset != nullptr) {
        for (int s = 0; s < pHdf->m_iMaxDataset; ++s) {
            freeDataset(pHdf->m_ppDataset[s]);
        }
        std::free(pHdf->m_ppDataset);
    }
    std::free(pHdf);
}

int fnGetMaxCountHdfRadar(HDF_RADAR* pHdf, int* pMaxDataset, int* pMaxData, int* pMaxRay,
                          int* pMaxBin) {
    if (pHdf == nullptr) {
        return 0;
    }
    int maxData = 0;
    long maxRay = 0;
    long maxBin = 0;
    for (int s = 0; pHdf->m_ppDataset != nullptr && s < pHdf->m_iMaxDataset; ++s) {
        const HDF_DATASET* pDataset = pHdf->m_ppDataset[s];
        if (pDataset == nullptr) {
            continue;
        }
        maxData = std::max(maxData, pDataset->m_iMaxData);
        if (pDataset->m_iMaxData > 0) {
            maxRay = std::max(maxRay, pDataset->m_where.m_polar_where.m_nRays);
            maxBin = std::max(maxBin, pDataset->m_where.m_polar_where.m_nBins);
        }
    }
    if (pMaxDataset != nullptr) {
        *pMaxDataset = std::max(pHdf->m_iMaxDataset, 0);
    }
    if (pMaxData != nullptr) {
        *pMaxData = maxData;
    }
    if (pMaxRay != nullptr) {
        *pMaxRay = static_cast<int>(std::min<long>(maxRay, 1L << 30));
    }
    if (pMaxBin != nullptr) {
        *pMaxBin = static_cast<int>(std::min<long>(maxBin, 1L << 30));
    }
    return 1;
}
