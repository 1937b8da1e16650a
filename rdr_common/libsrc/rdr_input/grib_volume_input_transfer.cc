// The hand-over of a GRIB_RADAR from the decoding child. Layout, in native byte order (both
// ends are the same program): "GRIBRAD" and a version byte; the header structure; the
// moment count; each moment's structure; then the header's arrays and each moment's
// arrays, every length following from the counts. The reader drops the child's pointers,
// checks every count as the loader does and terminates every text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "internal/grib_volume_input.h"

namespace {

constexpr unsigned char kMagic[8] = {'G', 'R', 'I', 'B', 'R', 'A', 'D', 1};

class ByteReader {
  public:
    ByteReader(const unsigned char* pBytes, std::size_t nBytes) : p_(pBytes), left_(nBytes) {}

    bool take(void* pOut, std::size_t n) {
        if (n > left_) {
            return false;
        }
        if (n > 0) {
            std::memcpy(pOut, p_, n);
        }
        p_ += n;
        left_ -= n;
        return true;
    }

    std::size_t left() const { return left_; }

  private:
    const unsigned char* p_;
    std::size_t left_;
};

template <std::size_t N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

// Every array of the volume with its length, in transfer order.
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
        bOk = visit(p->m_pData, sizeof(short) * nRay * static_cast<std::size_t>(p->m_iMaxBin)) &&
              visit(p->m_pFieldSlot, nRay) && visit(p->m_pBinNumber, sizeof(long) * nRay) &&
              visit(p->m_pScaleFactor, sizeof(long) * nRay) &&
              visit(p->m_pStartRange, sizeof(long) * nRay) &&
              visit(p->m_pBinSpacing, sizeof(long) * nRay);
    }
    return bOk;
}

}  // namespace

std::size_t gribRadarByteCount(const GRIB_RADAR* pGrib) {
    std::size_t n = sizeof(kMagic) + sizeof(pGrib->m_hdr) + sizeof(pGrib->m_iMaxVolume) +
                    sizeof(GRIB_VOLUME) * static_cast<std::size_t>(pGrib->m_iMaxVolume);
    visitArrays(const_cast<GRIB_RADAR*>(pGrib), [&n](void*, std::size_t nBytes) {
        n += nBytes;
        return true;
    });
    return n;
}

bool writeGribRadarBytes(const GRIB_RADAR* pGrib, IsolatedOutput& output) {
    if (!output.write(kMagic, sizeof(kMagic)) ||
        !output.write(&pGrib->m_hdr, sizeof(pGrib->m_hdr)) ||
        !output.write(&pGrib->m_iMaxVolume, sizeof(pGrib->m_iMaxVolume))) {
        return false;
    }
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        if (!output.write(pGrib->m_ppVolume[k], sizeof(GRIB_VOLUME))) {
            return false;
        }
    }
    return visitArrays(const_cast<GRIB_RADAR*>(pGrib),
                       [&output](void* p, std::size_t n) { return n == 0 || output.write(p, n); });
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
    const std::uint64_t nSweep = static_cast<std::uint64_t>(hdr.m_iMaxSweep);
    const std::uint64_t nRay = static_cast<std::uint64_t>(hdr.m_iMaxRay);
    if (hdr.m_iMaxSweep < 1 || hdr.m_iMaxRay < hdr.m_iMaxSweep) {
        *pWhy = "impossible sweep or ray count";
        return nullptr;
    }
    std::uint64_t nExpected = sizeof(kMagic) + sizeof(hdr) + sizeof(nVolume) +
                              sizeof(GRIB_VOLUME) * static_cast<std::uint64_t>(nVolume) +
                              nSweep * (sizeof(long) + sizeof(STD_SWEEP_HDR)) +
                              nRay * (4 * sizeof(long) + 4 * sizeof(double));
    for (int k = 0; k < nVolume; ++k) {
        if (bins[k] < 1 || nRay * static_cast<std::uint64_t>(bins[k]) >
                               static_cast<std::uint64_t>(GRIB_MAX_VALUES)) {
            *pWhy = "moment " + std::to_string(k + 1) + " has an impossible size";
            return nullptr;
        }
        nExpected +=
            nRay * (sizeof(short) * static_cast<std::uint64_t>(bins[k]) + 1 + 4 * sizeof(long));
    }
    if (nExpected != nBytes) {
        *pWhy =
            std::to_string(nBytes) + " bytes for a volume that needs " + std::to_string(nExpected);
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
    const bool bOk = visitArrays(pGrib, [&in](void* p, std::size_t n) { return in.take(p, n); }) &&
                     in.left() == 0;
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
