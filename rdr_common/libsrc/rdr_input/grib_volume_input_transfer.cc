// The hand-over of a GRIB_RADAR from the decoding child. Layout, in native byte order (both
// ends are the same program): "GRIBRAD" and a version byte; the header structure; the
// moment count; each moment's structure; the header's arrays and each moment's per-ray
// arrays; then each moment's values at a 16-byte boundary (zeros between), every length
// following from the counts. The reader drops the child's pointers,
// checks every count as the loader does and terminates every text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "internal/grib_volume_input.h"
#include "internal/hand_over_reader.h"

namespace {

constexpr unsigned char kMagic[8] = {'G', 'R', 'I', 'B', 'R', 'A', 'D', 2};
constexpr std::size_t kRowAlignment = 16;
constexpr unsigned char kZeros[kRowAlignment] = {};

std::uint64_t aligned(std::uint64_t n) {
    return (n + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

using ByteReader = HandOverReader;

template <std::size_t N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

// Every array of the volume but the values with its length, in transfer order.
template <class Visit>
bool visitArrays(GRIB_RADAR* pGrib, Visit visit) {
    GRIB_GLOBAL_HDR& h = pGrib->m_hdr;
    const std::size_t nSweep = static_cast<std::size_t>(h.m_iMaxSweep);
    const std::size_t nRay = static_cast<std::size_t>(h.m_iMaxRay);
    bool bOk = visit(h.m_pMaxRay, sizeof(long) * nSweep) &&
               visit(h.m_pSweepHdr, sizeof(STD_SWEEP_HDR) * nSweep) &&
               visit(h.m_pMaxBin, sizeof(long) * nRay) &&
               visit(h.m_pRayTime, sizeof(double) * nRay) &&
               visit(h.m_pRayAzimuth, sizeof(double) * nRay) &&
               visit(h.m_pRayElevation, sizeof(double) * nRay) &&
               visit(h.m_pRayFixedAngle, sizeof(double) * nRay) &&
               visit(h.m_pRayStartRange, sizeof(long) * nRay) &&
               visit(h.m_pRayBinSpacing, sizeof(long) * nRay) &&
               visit(h.m_pRaySampleSize, sizeof(long) * nRay);
    for (int k = 0; bOk && k < pGrib->m_iMaxVolume; ++k) {
        GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        bOk = visit(p->m_pFieldSlot, nRay) && visit(p->m_pBinNumber, sizeof(long) * nRay) &&
              visit(p->m_pScaleFactor, sizeof(long) * nRay) &&
              visit(p->m_pStartRange, sizeof(long) * nRay) &&
              visit(p->m_pBinSpacing, sizeof(long) * nRay);
    }
    return bOk;
}

}  // namespace

bool gribHandOverLayout(int nSweep, int nRay, int nVolume, const int* pBins,
                        GribHandOverLayout* pLayout) {
    if (nSweep < 1 || nRay < nSweep || nVolume < 1 || nVolume > GRIB_MAX_FIELD) {
        return false;
    }
    const std::uint64_t nSweeps = static_cast<std::uint64_t>(nSweep);
    const std::uint64_t nRays = static_cast<std::uint64_t>(nRay);
    std::uint64_t at = sizeof(kMagic) + sizeof(GRIB_GLOBAL_HDR) + sizeof(int) +
                       sizeof(GRIB_VOLUME) * static_cast<std::uint64_t>(nVolume) +
                       nSweeps * (sizeof(long) + sizeof(STD_SWEEP_HDR)) +
                       nRays * (4 * sizeof(long) + 4 * sizeof(double)) +
                       static_cast<std::uint64_t>(nVolume) * nRays * (1 + 4 * sizeof(long));
    pLayout->dataOffsets.clear();
    for (int k = 0; k < nVolume; ++k) {
        const std::uint64_t nValues = nRays * static_cast<std::uint64_t>(pBins[k]);
        if (pBins[k] < 1 || nValues > static_cast<std::uint64_t>(GRIB_MAX_VALUES)) {
            return false;
        }
        at = aligned(at);
        pLayout->dataOffsets.push_back(static_cast<std::size_t>(at));
        at += sizeof(short) * nValues;
    }
    at = aligned(at);
    pLayout->nBytes = static_cast<std::size_t>(at);
    return true;
}

std::size_t gribRadarByteCount(const GRIB_RADAR* pGrib) {
    std::vector<int> bins;
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        bins.push_back(pGrib->m_ppVolume[k]->m_iMaxBin);
    }
    GribHandOverLayout layout;
    return gribHandOverLayout(pGrib->m_hdr.m_iMaxSweep, pGrib->m_hdr.m_iMaxRay, pGrib->m_iMaxVolume,
                              bins.data(), &layout)
               ? layout.nBytes
               : 0;
}

bool writeGribRadarBytes(const GRIB_RADAR* pGrib, IsolatedOutput& output) {
    std::uint64_t at = 0;
    auto write = [&output, &at](const void* p, std::size_t n) {
        at += n;
        return n == 0 || output.write(p, n);
    };
    bool bOk = write(kMagic, sizeof(kMagic)) && write(&pGrib->m_hdr, sizeof(pGrib->m_hdr)) &&
               write(&pGrib->m_iMaxVolume, sizeof(pGrib->m_iMaxVolume));
    for (int k = 0; bOk && k < pGrib->m_iMaxVolume; ++k) {
        bOk = write(pGrib->m_ppVolume[k], sizeof(GRIB_VOLUME));
    }
    bOk = bOk && visitArrays(const_cast<GRIB_RADAR*>(pGrib), write);
    const std::size_t nRay = static_cast<std::size_t>(pGrib->m_hdr.m_iMaxRay);
    for (int k = 0; bOk && k < pGrib->m_iMaxVolume; ++k) {
        const GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        bOk = write(kZeros, aligned(at) - at) &&
              write(p->m_pData, sizeof(short) * nRay * static_cast<std::size_t>(p->m_iMaxBin));
    }
    return bOk && write(kZeros, aligned(at) - at);
}

GRIB_RADAR* readGribRadarBytes(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy) {
    ByteReader in(pBytes, nBytes);
    unsigned char magic[sizeof(kMagic)] = {};
    GRIB_GLOBAL_HDR hdr{};
    int nVolume = 0;
    if (!in.take(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0 ||
        !in.take(&hdr, sizeof(hdr)) || !in.take(&nVolume, sizeof(nVolume))) {
        *pWhy = "no volume header";
        return nullptr;
    }
    if (nVolume != hdr.m_iMaxField || nVolume < 1 || nVolume > GRIB_MAX_FIELD) {
        *pWhy = "moment count " + std::to_string(nVolume);
        return nullptr;
    }
    std::vector<GRIB_VOLUME> volumes(static_cast<std::size_t>(nVolume));
    std::vector<int> bins(static_cast<std::size_t>(nVolume));
    for (int k = 0; k < nVolume; ++k) {
        if (!in.take(&volumes[k], sizeof(GRIB_VOLUME))) {
            *pWhy = "moment " + std::to_string(k + 1) + " is missing";
            return nullptr;
        }
        bins[k] = volumes[k].m_iMaxBin;
    }
    // The bytes the counts call for must be the bytes there are, before anything is
    // allocated for them.
    GribHandOverLayout layout;
    if (!gribHandOverLayout(hdr.m_iMaxSweep, hdr.m_iMaxRay, nVolume, bins.data(), &layout)) {
        *pWhy = "impossible sweep, ray or bin count";
        return nullptr;
    }
    if (layout.nBytes != nBytes) {
        *pWhy = std::to_string(nBytes) + " bytes for a volume that needs " +
                std::to_string(layout.nBytes);
        return nullptr;
    }
    GRIB_RADAR* pGrib = newGribRadar(hdr.m_iMaxSweep, hdr.m_iMaxRay, nVolume, bins.data(), true);
    if (pGrib == nullptr) {
        *pWhy = "impossible counts or no memory";
        return nullptr;
    }
    GRIB_GLOBAL_HDR& own = pGrib->m_hdr;
    GRIB_GLOBAL_HDR copy = hdr;
    // The arrays are the new volume's; the scalars come from the child.
    copy.m_pMaxRay = own.m_pMaxRay;
    copy.m_pMaxBin = own.m_pMaxBin;
    copy.m_pRayTime = own.m_pRayTime;
    copy.m_pRayAzimuth = own.m_pRayAzimuth;
    copy.m_pRayElevation = own.m_pRayElevation;
    copy.m_pRayFixedAngle = own.m_pRayFixedAngle;
    copy.m_pRayStartRange = own.m_pRayStartRange;
    copy.m_pRayBinSpacing = own.m_pRayBinSpacing;
    copy.m_pRaySampleSize = own.m_pRaySampleSize;
    copy.m_pSweepHdr = own.m_pSweepHdr;
    copy.m_iMaxBin = own.m_iMaxBin;
    own = copy;
    terminate(own.m_szRadarName);
    terminate(own.m_szSiteName);
    terminate(own.m_szConvertName);
    terminate(own.m_szProjectName);
    terminate(own.m_szFieldTapeName);
    terminate(own.m_szThresholdType);
    terminate(own.m_szEditCode);
    for (int k = 0; k < nVolume; ++k) {
        std::memcpy(pGrib->m_ppVolume[k]->m_szName, volumes[k].m_szName,
                    sizeof(volumes[k].m_szName));
        terminate(pGrib->m_ppVolume[k]->m_szName);
    }
    bool bOk = visitArrays(pGrib, [&in](void* p, std::size_t n) { return in.take(p, n); });
    const std::size_t nRay = static_cast<std::size_t>(own.m_iMaxRay);
    for (int k = 0; bOk && k < nVolume; ++k) {
        const GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        bOk = in.skip(layout.dataOffsets[k] - (nBytes - in.left())) &&
              in.take(p->m_pData, sizeof(short) * nRay * static_cast<std::size_t>(p->m_iMaxBin));
    }
    bOk = bOk && in.left() < kRowAlignment;  // the last row's padding
    for (int s = 0; bOk && s < own.m_iMaxSweep; ++s) {
        terminate(own.m_pSweepHdr[s].m_szVelocityFlag);
    }
    if (!bOk) {
        *pWhy = "the arrays do not match the counts";
        fnFreeGribRadar(pGrib);
        return nullptr;
    }
    return pGrib;
}
