// The nearest-ray walk along a sweep's azimuth ring, shared by fnTheClosestRay and the
// product loops that keep the ray azimuths in a flat array (one walk per grid cell).
// Both must give the same ray for the same start bucket and azimuth, bit for bit.
#ifndef RDR_RAY_RING_WALK_H
#define RDR_RAY_RING_WALK_H

#include <cmath>

#include "standard_volume.h"

namespace rdr_ring {

// A walk that has not converged after this many steps means the table is not a ring
// (corrupt, or built from another sweep).
constexpr int kMaxRingSteps = 999999;

// Clockwise angle from a1 to a2, 0 to below 360: the difference in single precision, the
// turn added in double.
inline double cwiseAngleDiff(float a1, float a2) {
    const float d = a2 - a1;
    return d < 0.0f ? d + 360.0 : d;
}

// Counter-clockwise angle from a1 to a2.
inline double ccwiseAngleDiff(float a1, float a2) {
    const float d = a1 - a2;
    return d < 0.0f ? d + 360.0 : d;
}

// A ray azimuth as the walk uses it: values a turn or more outside 0..360 (an uncorrected
// or odd source) are folded into 0..360, since the angle differences wrap only once. Values
// within 0..360, 360 itself included, are used as stored.
inline float walkAzimuth(float fAzimuth) {
    if (fAzimuth >= 0.0f && fAzimuth <= 360.0f) {
        return fAzimuth;
    }
    const float a = std::fmod(fAzimuth, 360.0f);
    return a < 0.0f ? a + 360.0f : a;
}

// Walks from the ray in bucket iHashIdx to the pair of ring neighbours that encloses
// fAzimuth and answers the nearer one (ties to the clockwise one), or -1. azimuthOf(i, &az)
// answers false for a ray index that is out of range, null or unusable.
template <typename AzimuthOf>
int closestRayOnRing(const STD_AZIMUTH_TBL* pTable, int nRay, int iHashIdx, float fAzimuth,
                     AzimuthOf azimuthOf) {
    if (pTable == nullptr || iHashIdx < 0 || iHashIdx >= nRay) {
        return -1;
    }
    if (fAzimuth < 0.0f || fAzimuth >= 360.0f) {
        // The angle differences wrap once; a caller's azimuth a turn or more away from
        // 0..360 is folded first instead of sending the walk round the ring for good.
        fAzimuth = std::fmod(fAzimuth, 360.0f);
        if (fAzimuth < 0.0f) {
            fAzimuth += 360.0f;
        }
    }
    int c = pTable[iHashIdx].m_iCon;
    float azC = 0.0f;
    if (!azimuthOf(c, &azC)) {
        return -1;  // empty bucket or a table that does not belong to this sweep
    }
    int h = pTable[c].m_iHigh;
    float azH = 0.0f;
    if (!azimuthOf(h, &azH)) {
        return -1;
    }
    double dCLow = cwiseAngleDiff(fAzimuth, azC);
    double dCHigh = cwiseAngleDiff(fAzimuth, azH);
    double dCCLow = ccwiseAngleDiff(fAzimuth, azC);

    // Rays of equal azimuth give dCHigh == dCLow without enclosing the azimuth: walk across
    // them, but stop once a whole ring of them has been seen (every ray at one azimuth).
    int equalSteps = 0;
    int steps = 0;
    while (dCLow != 0.0 && (dCHigh > dCLow || (dCHigh == dCLow && h != c && equalSteps <= nRay))) {
        if (dCHigh == dCLow) {
            ++equalSteps;
        }
        c = dCCLow > dCLow ? pTable[c].m_iLow : pTable[c].m_iHigh;
        if (!azimuthOf(c, &azC)) {
            return -1;
        }
        h = pTable[c].m_iHigh;
        if (!azimuthOf(h, &azH)) {
            return -1;
        }
        dCLow = cwiseAngleDiff(fAzimuth, azC);
        dCHigh = cwiseAngleDiff(fAzimuth, azH);
        dCCLow = ccwiseAngleDiff(fAzimuth, azC);
        if (++steps >= kMaxRingSteps) {
            return -1;
        }
    }
    return dCHigh <= dCCLow ? h : c;
}

}  // namespace rdr_ring

#endif
