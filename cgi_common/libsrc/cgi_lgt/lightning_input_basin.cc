// Strike statistics per administrative area: the area list and the gzip statistics files.
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "display_utilities.h"
#include "internal/lightning_text.h"
#include "lightning_input.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

constexpr int kRecordBytes = 24;
constexpr float kNoMinimum = 999.0f;

// Reads one "name code" line of the area list into rec (name cut at 1023 characters).
bool readArea(FILE* f, BASIN_DATA* rec) {
    char name[sizeof rec->m_szName];
    int code = 0;
    if (std::fscanf(f, "%1023s %d", name, &code) != 2) {
        return false;
    }
    if (rec != nullptr) {
        std::memcpy(rec->m_szName, name, sizeof name);
        rec->m_nCode = code;
    }
    return true;
}

int32_t le32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

template <class T>
T leValue(const unsigned char* p) {
    static_assert(sizeof(T) == 4 || sizeof(T) == 8);
    uint64_t u = 0;
    for (size_t k = 0; k < sizeof(T); ++k) {
        u |= static_cast<uint64_t>(p[k]) << (8 * k);
    }
    T v;
    if constexpr (sizeof(T) == 4) {
        const auto u32 = static_cast<uint32_t>(u);
        std::memcpy(&v, &u32, 4);
    } else {
        std::memcpy(&v, &u, 8);
    }
    return v;
}

bool readExactly(gzFile f, unsigned char* buf, unsigned n) {
    return gzread(f, buf, n) == static_cast<int>(n);
}

std::string periodPath(char mode, const struct tm& period) {
    const char* pattern = mode == 'Y'   ? "/DATA/OUTPUT/BIN/BASI/%Y/LGT_VYQ_BASI_%Y.bin.gz"
                          : mode == 'M' ? "/DATA/OUTPUT/BIN/BASI/%Y/LGT_VYQ_BASI_%Y%m.bin.gz"
                          : mode == 'D' ? "/DATA/OUTPUT/BIN/BASI/%Y%m/LGT_VYQ_BASI_%Y%m%d.bin.gz"
                                        : nullptr;
    if (pattern == nullptr) {
        return {};
    }
    char name[96];
    std::strftime(name, sizeof name, pattern, &period);
    return rdrRootPath(std::string(name));
}

// Merges one statistics file into the records; the number of records merged (its count N,
// or fewer when N exceeds nBufMax or the file is cut short), or -1 when the file is missing
// or has no valid count.
int mergeFile(const std::string& path, BASIN_DATA* pBuf, int nBufMax) {
    // Only a regular file: a FIFO under the name would hold the caller.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    rdr::GzFilePtr f(gzopen(path.c_str(), "rb"));
    if (f == nullptr) {
        return -1;
    }
    unsigned char head[4];
    if (!readExactly(f.get(), head, sizeof head)) {
        return -1;
    }
    const int32_t n = le32(head);
    if (n < 0) {
        return -1;
    }
    int32_t k = 0;
    for (; k < n && k < nBufMax; ++k) {
        unsigned char r[kRecordBytes];
        if (!readExactly(f.get(), r, sizeof r)) {
            break;  // cut short: the records read so far count
        }
        BASIN_DATA& rec = pBuf[k];
        rec.m_nCode = le32(r);
        rec.m_nLgtCnt += le32(r + 4);
        rec.m_dTot_impact += leValue<double>(r + 8);
        const float maxImpact = leValue<float>(r + 16);
        const float minImpact = leValue<float>(r + 20);
        if (maxImpact > rec.m_fMax_impact) {
            rec.m_fMax_impact = maxImpact;
        }
        if (minImpact < rec.m_fMin_impact) {
            rec.m_fMin_impact = minImpact;
        }
    }
    return k;
}

}  // namespace

int fnInitLgtBasinData(const char* szFile, int nType, BASIN_DATA* pBuf, int nBufMax) {
    if (szFile == nullptr || pBuf == nullptr || nBufMax <= 0 ||
        (nType != LGT_BASIN_TYPE_DO && nType != LGT_BASIN_TYPE_SIGU)) {
        return -1;
    }
    for (int k = 0; k < nBufMax; ++k) {
        BASIN_DATA& rec = pBuf[k];
        rec.m_szName[0] = '\0';
        rec.m_nColor = -1;
        rec.m_nCode = 0;
        rec.m_nLgtCnt = 0;
        rec.m_dTot_impact = 0.0;
        rec.m_fMax_impact = 0.0f;
        rec.m_fMin_impact = kNoMinimum;
    }
    struct stat st {};
    if (stat(szFile, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;  // also a FIFO, which would hold the caller
    }
    rdr::FilePtr f(std::fopen(szFile, "r"));
    if (f == nullptr) {
        return -1;
    }
    int total = 0, provinces = 0, cities = 0;
    if (std::fscanf(f.get(), "%d %d %d", &total, &provinces, &cities) != 3 || provinces < 0 ||
        cities < 0) {
        return -1;
    }
    if (nType == LGT_BASIN_TYPE_SIGU) {
        for (int k = 0; k < provinces; ++k) {
            if (!readArea(f.get(), nullptr)) {
                return 0;
            }
        }
    }
    const int wanted = nType == LGT_BASIN_TYPE_DO ? provinces : cities;
    int loaded = 0;
    while (loaded < wanted && loaded < nBufMax && readArea(f.get(), &pBuf[loaded])) {
        ++loaded;
    }
    return loaded;
}

int fnReadLgtDataBasin(const char* szEndTime, char cLgt_t_mode, int nLgt_intv, BASIN_DATA* pBuf,
                       int nBufMax) {
    if (pBuf == nullptr || nBufMax <= 0 || !lgt_text::validTime(szEndTime)) {
        return -1;
    }
    struct tm period = {};
    lgt_text::parseTime(szEndTime, &period);
    period.tm_hour = 12;  // day steps never cross a date line at a change of daylight saving
    period.tm_min = 0;
    int largest = 0;
    const int periods = nLgt_intv < LGT_MAX_DAYS ? nLgt_intv : LGT_MAX_DAYS;
    for (int i = 0; i < periods; ++i) {
        if (i > 0) {
            period = cLgt_t_mode == 'Y'   ? fnGetIncYear(period, -1)
                     : cLgt_t_mode == 'M' ? fnGetIncMonth(period, -1)
                                          : fnGetIncDay(period, -1);
        }
        const std::string path = periodPath(cLgt_t_mode, period);
        if (path.empty()) {
            break;
        }
        const int n = mergeFile(path, pBuf, nBufMax);
        if (n > largest) {
            largest = n;
        }
    }
    return largest;
}
