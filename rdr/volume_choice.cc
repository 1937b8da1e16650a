#include "volume_choice.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "owned_handles.h"
#include "volume_formats.h"

namespace {

// Reflectivity names in the order they are preferred: as measured, corrected, then the
// other reflectivity moments the field table holds.
constexpr const char* kReflectivityMoments[] = {"DZ", "CZ", "ZT", "UZ", "ZV", "DBZ"};

}  // namespace

std::string loadFailureReason(const std::string& path, const char* szFormat) {
    if (szFormat == nullptr) {
        std::string why;
        fnIdentifyVolumeFile(path.c_str(), &why);
        return why;
    }
    return std::string("a ") + szFormat + " file this build could not read (see the message above)";
}

void reportLoadFailure(const std::string& path, const char* szFormat) {
    std::fprintf(stderr, "rdr: %s: cannot load (%s)\n", path.c_str(),
                 loadFailureReason(path, szFormat).c_str());
}

void reportDamage(const std::string& path, const VolumeLoadNotes& notes) {
    for (const std::string& what : notes.damage) {
        std::fprintf(stderr, "rdr: %s: %s (what follows is made of what could be read)\n",
                     path.c_str(), what.c_str());
    }
}

std::string momentNames(const STD_RADAR* pStd) {
    std::set<std::string> names;
    for (int s = 0; s < pStd->m_iMaxSweep && pStd->m_ppSweep != nullptr; ++s) {
        const STD_SWEEP* sweep = pStd->m_ppSweep[s];
        for (int r = 0; sweep != nullptr && sweep->m_ppRay != nullptr && r < sweep->m_iMaxRay;
             ++r) {
            const STD_RAY* ray = sweep->m_ppRay[r];
            for (int f = 0; ray != nullptr && ray->m_ppField != nullptr && f < ray->m_iMaxField;
                 ++f) {
                if (ray->m_ppField[f] != nullptr) {
                    names.insert(ray->m_ppField[f]->m_hdr.m_szFieldName);
                }
            }
        }
    }
    std::string list;
    for (const std::string& n : names) {
        if (!list.empty()) {
            list += " ";
        }
        list += n;
    }
    return list.empty() ? "none" : list;
}

std::string defaultField(const STD_RADAR* pStd) {
    for (const char* szName : kReflectivityMoments) {
        if (fnStdRadarHasMoment(const_cast<STD_RADAR*>(pStd), szName)) {
            return szName;
        }
    }
    return std::string();
}

std::vector<std::string> momentsToLoad(const std::string& named, bool bReflectivity) {
    std::vector<std::string> moments;
    if (bReflectivity) {
        moments.assign(std::begin(kReflectivityMoments), std::end(kReflectivityMoments));
    }
    if (!named.empty()) {
        moments.push_back(named);
    }
    return moments;
}

std::string fileMomentNames(const char* szFile) {
    rdr::StdRadarPtr whole(fnLoadStdRadarFile(szFile));
    return whole ? momentNames(whole.get()) : "none";
}

float sweepAngle(const STD_RADAR* pStd, int s) {
    const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
    for (int r = 0; pSweep != nullptr && r < pSweep->m_iMaxRay; ++r) {
        if (pSweep->m_ppRay[r] != nullptr) {
            return pSweep->m_ppRay[r]->m_hdr.m_fFixedAngle;
        }
    }
    return NAN;
}

int sweepNearestElevation(const STD_RADAR* pStd, float fElevation) {
    int best = 0;
    float bestDiff = INFINITY;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const float d = std::fabs(sweepAngle(pStd, s) - fElevation);
        if (d < bestDiff) {
            bestDiff = d;
            best = s;
        }
    }
    return best;
}

std::string planViewRefusal(const STD_RADAR* pStd) {
    switch (pStd->m_hdr.m_iSweepMode) {
        case STD_EN_SWMD_RHI:
            return "an RHI volume: its sweeps are vertical sections, not plan views";
        case STD_EN_SWMD_VERTICAL:
            return "a vertically pointing volume: it looks straight up, not across the land";
        default:
            return std::string();
    }
}

std::string sectionRefusal(const STD_RADAR* pStd, const std::string& product) {
    const int mode = pStd->m_hdr.m_iSweepMode;
    if (product == "RHI" && mode != STD_EN_SWMD_RHI) {
        return mode == STD_EN_SWMD_VERTICAL
                   ? "a vertically pointing volume: draw it with --product TH, not as an RHI"
                   : "not an RHI volume: its sweeps turn in azimuth; draw it with --product PPI";
    }
    if (product == "TH" && mode != STD_EN_SWMD_VERTICAL) {
        return mode == STD_EN_SWMD_RHI ? "an RHI volume: draw it with --product RHI, not as a "
                                         "time-height image"
                                       : "not a vertically pointing volume: time-height images "
                                         "are drawn of volumes that look straight up";
    }
    return std::string();
}
