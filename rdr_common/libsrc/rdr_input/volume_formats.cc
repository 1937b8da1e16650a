// The format registry: the file's first bytes are read once (inflated when the file is
// gzip-compressed) and each row's identify check is asked in turn; the first row that
// recognises the file loads it.
#include "volume_formats.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <utility>

#include "bufr_radar.h"
#include "core_utilities.h"
#include "grib_radar.h"
#include "hdf_radar.h"
#include "internal/volume_formats_table.h"
#include "nc_radar.h"
#include "uf_radar.h"

namespace {

constexpr const char* kLoad = "fnLoadStdRadarFile";
constexpr unsigned char kHdf5Magic[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

bool startsWith(const VolumeFileHead& head, const void* magic, std::size_t n) {
    return head.size >= n && std::memcmp(head.bytes, magic, n) == 0;
}

bool isNetcdfClassic(const VolumeFileHead& head) {
    return head.size >= 4 && std::memcmp(head.bytes, "CDF", 3) == 0 &&
           (head.bytes[3] == 1 || head.bytes[3] == 2 || head.bytes[3] == 5);
}

bool identifyUf(const VolumeFileHead& head) {
    return ufFramingOfHead(head.bytes, head.size) != EN_UF_TYPE_UNKNOWN;
}

// NetCDF cannot read through gzip, so only plain files qualify. A NetCDF-4 file is HDF5
// underneath: it is CF/Radial when its Conventions name CF, or, lacking that attribute,
// when it holds the CF/Radial sweep_number variable.
bool identifyCfRadial(const VolumeFileHead& head) {
    if (head.gzip) {
        return false;
    }
    if (isNetcdfClassic(head)) {
        return true;
    }
    return head.hdf5 && (head.conventions.find("CF") != std::string::npos ||
                         (head.conventions.empty() && head.hasSweepNumber));
}

bool identifyOdim(const VolumeFileHead& head) {
    return head.hdf5 && !head.gzip && head.conventions.rfind("ODIM_H5", 0) == 0;
}

// A BUFR message may follow a bulletin heading, so its start is looked for in the head.
bool identifyBufr(const VolumeFileHead& head) {
    const unsigned char* end = head.bytes + head.size;
    static constexpr char kMagic[] = "BUFR";
    return std::search(head.bytes, end, kMagic, kMagic + 4) != end;
}

bool identifyGrib(const VolumeFileHead& head) {
    return startsWith(head, "GRIB", 4);
}

// Header words a UF writer cannot have meant: the first ray of each kind of fault is named.
void noteUfHeaderDamage(const UF_RADAR* pUf, VolumeLoadNotes* pNotes) {
    bool bBadDate = false;
    bool bBadPosition = false;
    for (int s = 0; s < pUf->m_iCurSweep && s < pUf->m_iMaxSweep; s++) {
        const UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        for (int r = 0; pSweep != nullptr && r < pSweep->m_iCurRay && r < pSweep->m_iMaxRay; r++) {
            const UF_MANDATORY_HDR& mh = pSweep->m_ppRay[r]->mh;
            const std::string where =
                "ray " + std::to_string(r + 1) + " of sweep " + std::to_string(s + 1);
            if (!bBadDate && (mh.m_iMonth < 1 || mh.m_iMonth > 12 || mh.m_iDay < 1 ||
                              mh.m_iDay > fnGetLastDayOfYM(mh.m_iYear, mh.m_iMonth) ||
                              mh.m_iHour < 0 || mh.m_iHour > 23 || mh.m_iMinute < 0 ||
                              mh.m_iMinute > 59 || mh.m_iSecond < 0 || mh.m_iSecond > 60)) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "%s has the impossible time %d-%02d-%02d %02d:%02d:%02d",
                              where.c_str(), mh.m_iYear, mh.m_iMonth, mh.m_iDay, mh.m_iHour,
                              mh.m_iMinute, mh.m_iSecond);
                pNotes->damage.push_back(text);
                bBadDate = true;
            }
            if (!bBadPosition && (std::abs(mh.m_iLatDeg) > 90 || std::abs(mh.m_iLonDeg) > 180 ||
                                  std::abs(mh.m_iLatMin) > 59 || std::abs(mh.m_iLonMin) > 59)) {
                pNotes->damage.push_back(
                    where + " has the impossible position " + std::to_string(mh.m_iLatDeg) +
                    " deg " + std::to_string(mh.m_iLatMin) + " min, " +
                    std::to_string(mh.m_iLonDeg) + " deg " + std::to_string(mh.m_iLonMin) + " min");
                bBadPosition = true;
            }
        }
    }
}

STD_RADAR* loadUfMoments(const char* szFile, const std::vector<std::string>* pMoments,
                         VolumeLoadNotes* pNotes) {
    UF_RADAR* pUf = fnLoadUfMoments(szFile, pMoments);
    if (pUf == nullptr) {
        return nullptr;
    }
    if (pUf->m_szLoadNote[0] != '\0') {
        pNotes->damage.push_back(pUf->m_szLoadNote);
    }
    noteUfHeaderDamage(pUf, pNotes);
    STD_RADAR* pStd = fnUfSyncUpStd(pUf);
    fnFreeUfRadar(pUf);
    return pStd;
}

STD_RADAR* loadUf(const char* szFile, VolumeLoadNotes* pNotes) {
    return loadUfMoments(szFile, nullptr, pNotes);
}

STD_RADAR* loadCfRadial(const char* szFile, VolumeLoadNotes* pNotes) {
    NC_RADAR* pNc = fnLoadNcRadar(szFile);
    if (pNc == nullptr) {
        return nullptr;
    }
    for (int m = 0; m < pNc->m_iMaxMoment; m++) {
        const NC_MOMENT_VAR& moment = pNc->m_moment_var[m];
        if (std::strcmp(moment.m_szFieldName, moment.m_szVariable) != 0) {
            pNotes->fieldSources.emplace_back(moment.m_szFieldName, moment.m_szVariable);
        }
    }
    for (const char* p = pNc->m_szSkipped; *p != '\0';) {
        const char* end = std::strstr(p, "; ");
        const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        pNotes->skipped.emplace_back(p, n);
        p += n + (end != nullptr ? 2 : 0);
    }
    STD_RADAR* pStd = fnNcSyncUpStd(pNc);
    fnFreeNcRadar(pNc);
    return pStd;
}

// Values no radar can have had, whatever the format said.
void noteImplausibleVolume(const STD_RADAR* pStd, VolumeLoadNotes* pNotes) {
    const STD_GLOBAL_HDR& hdr = pStd->m_hdr;
    if (!(std::fabs(hdr.m_dLat) <= 90.0) || !(std::fabs(hdr.m_dLon) <= 360.0)) {
        char text[96];
        std::snprintf(text, sizeof text, "the radar's position %g N %g E cannot be right",
                      hdr.m_dLat, hdr.m_dLon);
        pNotes->damage.push_back(text);
    }
    // Digital radar volumes start in the 1970s; a day ahead allows for clocks and zones.
    const time_t tEarliest = fnMakeTime(1, 1970, 1, 1, 0, 0, 0);
    if (hdr.m_tConvertTime < tEarliest || hdr.m_tConvertTime > std::time(nullptr) + 86400 + 32400) {
        pNotes->damage.push_back("the volume time " +
                                 formatStoredTime(hdr.m_tConvertTime, "%Y-%m-%d %H:%M:%S") +
                                 " cannot be right");
    }
    for (int s = 0; s < pStd->m_iMaxSweep; s++) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        for (int r = 0; pSweep != nullptr && r < pSweep->m_iMaxRay; r++) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr) {
                continue;
            }
            const float az = pRay->m_hdr.m_fAzimuth;
            const float el = pRay->m_hdr.m_fElevation;
            if (!(az >= -360.0f && az <= 720.0f) || !(el >= -90.0f && el <= 270.0f)) {
                char text[128];
                std::snprintf(text, sizeof text,
                              "ray %d of sweep %d points at azimuth %g, elevation %g degrees",
                              r + 1, s + 1, az, el);
                pNotes->damage.push_back(text);
                return;
            }
        }
    }
}

// Any GRIB file is this row's; the loader refuses, saying so, one that is not the system's
// own volume (a foreign GRIB 2 product, a GRIB 1 file, a product of ours).
STD_RADAR* loadGrib(const char* szFile, VolumeLoadNotes*) {
    GRIB_RADAR* pGrib = fnLoadGribRadar(const_cast<char*>(szFile));
    if (pGrib == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnGribSyncUpStd(pGrib);
    fnFreeGribRadar(pGrib);
    return pStd;
}

STD_RADAR* loadOdim(const char* szFile, VolumeLoadNotes*) {
    HDF_RADAR* pHdf = fnLoadHdfRadar(szFile);
    if (pHdf == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnHdfSyncUpStd(pHdf);
    fnFreeHdfRadar(pHdf);
    return pStd;
}

STD_RADAR* loadBufr(const char* szFile, VolumeLoadNotes*) {
    BUFR_RADAR* pBufr = fnLoadBufrRadar(szFile);
    if (pBufr == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnBufrSyncUpStd(pBufr);
    fnFreeBufrRadar(pBufr);
    return pStd;
}

// In order: the checks that read only the head come before the HDF5 ones.
constexpr VolumeFormat kFormats[] = {
    {"UF", identifyUf, loadUf, loadUfMoments}, {"CF/Radial", identifyCfRadial, loadCfRadial},
    {"ODIM HDF5", identifyOdim, loadOdim},     {"BUFR", identifyBufr, loadBufr},
    {"GRIB", identifyGrib, loadGrib},
};

// Reads the head into buf and fills head; false with the reason when the file cannot be
// read or is too short to be anything.
bool readHead(const char* szFile, std::array<unsigned char, kVolumeHeadBytes>* pBuf,
              VolumeFileHead* pHead, std::string* pWhy) {
    struct stat st {};
    if (szFile == nullptr || stat(szFile, &st) != 0) {
        *pWhy = std::string("cannot open: ") + std::strerror(szFile ? errno : EINVAL);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pWhy = "is a directory, not a file";
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size == 0) {
        *pWhy = "the file is empty";
        return false;
    }
    gzFile gz = gzopen(szFile, "rb");
    if (gz == nullptr) {
        *pWhy = std::string("cannot open: ") + std::strerror(errno ? errno : ENOMEM);
        return false;
    }
    const int nRead = gzread(gz, pBuf->data(), static_cast<unsigned>(pBuf->size()));
    int iErr = Z_OK;
    const char* szGzError = gzerror(gz, &iErr);
    const bool bGzip = gzdirect(gz) == 0;
    std::string gzReason = iErr != Z_OK && szGzError != nullptr ? szGzError : "";
    gzclose(gz);

    *pHead = VolumeFileHead{szFile, pBuf->data(), nRead > 0 ? static_cast<std::size_t>(nRead) : 0,
                            bGzip,  false,        "",
                            false};
    if (nRead < 0 || (bGzip && pHead->size < 6)) {
        *pWhy = bGzip ? "the gzip stream is truncated or corrupt" : "read error";
        if (!gzReason.empty()) {
            *pWhy += " (" + gzReason + ")";
        }
        return false;
    }
    if (pHead->size < 6) {
        *pWhy = "too short to be a radar volume (" + std::to_string(pHead->size) + " bytes)";
        return false;
    }
    if (!bGzip && startsWith(*pHead, kHdf5Magic, sizeof(kHdf5Magic))) {
        pHead->hdf5 = true;
        if (!probeHdf5Root(pHead)) {
            *pWhy = "an HDF5 signature, but the HDF5 library cannot open the file";
            return false;
        }
    }
    return true;
}

const VolumeFormat* findFormat(const char* szFile, std::string* pWhy) {
    std::array<unsigned char, kVolumeHeadBytes> buf{};
    VolumeFileHead head{};
    if (!readHead(szFile, &buf, &head, pWhy)) {
        return nullptr;
    }
    for (const VolumeFormat& format : kFormats) {
        if (format.identify(head)) {
            return &format;
        }
    }
    if (head.hdf5) {
        *pWhy = "an HDF5 file, but neither CF/Radial nor ODIM_H5 (Conventions \"" +
                head.conventions + "\")";
    } else if (head.gzip) {
        *pWhy = "gzip-compressed, but the content is not a radar volume this library reads";
    } else {
        *pWhy = "not a radar volume this library recognises (UF, CF/Radial, ODIM HDF5, BUFR, GRIB)";
    }
    return nullptr;
}

}  // namespace

const char* fnIdentifyVolumeFile(const char* szFile, std::string* pWhy) {
    std::string why;
    const VolumeFormat* format = findFormat(szFile, &why);
    if (pWhy != nullptr) {
        *pWhy = why;
    }
    return format != nullptr ? format->name : nullptr;
}

STD_RADAR* fnLoadStdRadarFile(const char* szFile, const char** pFormat, VolumeLoadNotes* pNotes,
                              const std::vector<std::string>* pMoments) {
    std::string why;
    const VolumeFormat* format = findFormat(szFile, &why);
    if (pFormat != nullptr) {
        *pFormat = format != nullptr ? format->name : nullptr;
    }
    const std::string name = szFile != nullptr ? szFile : "(null)";
    if (format == nullptr) {
        rdrError(kLoad, (name + ": " + why).c_str());
        return nullptr;
    }
    if (format->load == nullptr) {
        rdrError(kLoad, (name + ": " + format->name + " files are not supported yet").c_str());
        return nullptr;
    }
    VolumeLoadNotes notes;
    STD_RADAR* pStd = pMoments != nullptr && format->loadMoments != nullptr
                          ? format->loadMoments(szFile, pMoments, &notes)
                          : format->load(szFile, &notes);
    if (pStd != nullptr) {
        noteImplausibleVolume(pStd, &notes);
    }
    if (pNotes != nullptr) {
        *pNotes = std::move(notes);
    }
    return pStd;
}
