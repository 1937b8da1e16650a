// Layout, in native byte order (both ends are the same program): "NCRADAR" and a version
// byte; sizeof(NC_RADAR) as u64; the structure's bytes; then for each owned array a present
// byte, its length in bytes as u64 and its bytes (text arrays: NC_VAR_TEXT_LEN per string).
#include "internal/netcdf_volume_input_transfer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "internal/hand_over_reader.h"
#include "internal/netcdf_volume_input.h"

namespace {

constexpr unsigned char kMagic[8] = {'N', 'C', 'R', 'A', 'D', 'A', 'R', 1};

bool put(IsolatedOutput& output, const void* pBytes, std::size_t n) {
    return n == 0 || output.write(pBytes, n);
}

bool putNumber(IsolatedOutput& output, std::uint64_t value) {
    return put(output, &value, sizeof(value));
}

class ByteReader : public HandOverReader {
  public:
    using HandOverReader::HandOverReader;
    bool number(std::uint64_t* pValue) { return take(pValue, sizeof(*pValue)); }
};

template <std::size_t N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

// The copied structure's fixed text fields may not be terminated if the child's memory was
// damaged; every reader of them relies on it.
void terminateTexts(NC_RADAR* pNc) {
    NC_GLOBAL_ATTR& a = pNc->m_global_attr;
    for (char* text :
         {a.m_szConventions, a.m_szVersion, a.m_szInstitution, a.m_szReferences, a.m_szSource,
          a.m_szHistory, a.m_szComment, a.m_szInstrument_name, a.m_szSite_name, a.m_szScan_name,
          a.m_szPlatform_is_mobile, a.m_szN_gates_vary, a.m_szRay_times_increase, a.m_szField_names,
          a.m_szTime_coverage_start}) {
        text[NC_ATTR_TEXT_LEN - 1] = '\0';
    }
    NC_GLOBAL_VAR& v = pNc->m_global_var;
    for (char* text : {v.m_szPlatform_type, v.m_szInstrument_type, v.m_szPrimary_axis,
                       v.m_szTime_coverage_start, v.m_szTime_coverage_end, v.m_szTime_reference}) {
        text[NC_VAR_TEXT_LEN - 1] = '\0';
    }
    terminate(pNc->m_coordi_var.m_szTimeUnits);
    for (NC_MOMENT_VAR& moment : pNc->m_moment_var) {
        terminate(moment.m_szMoment);
        terminate(moment.m_szVariable);
        terminate(moment.m_szFieldName);
    }
    terminate(pNc->m_szSkipped);
}

bool dimensionsValid(const NC_DIMENSION& dim) {
    for (int n : {dim.m_nTime, dim.m_nRange, dim.m_nSweep, dim.m_nString_length_short,
                  dim.m_nString_length_medium, dim.m_nString_length_long, dim.m_nR_calib,
                  dim.m_nRay_n_gates, dim.m_nRay_start_index, dim.m_nFrequency}) {
        if (n < 0) {
            return false;
        }
    }
    return true;
}

// Reads one owned array into its slot; false with the reason.
bool readArray(ByteReader& in, const NcOwnedArray& array, std::string* pWhy) {
    unsigned char present = 0;
    std::uint64_t length = 0;
    if (!in.take(&present, 1) || present > 1 || !in.number(&length)) {
        *pWhy = "truncated";
        return false;
    }
    if (present == 0) {
        if (array.required || length != 0) {
            *pWhy = "a moment without data";
            return false;
        }
        return true;
    }
    std::size_t expected = 0;
    if (__builtin_mul_overflow(array.count, array.elementBytes, &expected) || length != expected ||
        length > in.left()) {
        *pWhy = "an array of " + std::to_string(length) + " bytes where " +
                std::to_string(array.count) + " values belong";
        return false;
    }
    if (array.text) {
        char** pp = allocNcTextArray(array.count);
        if (pp == nullptr) {
            *pWhy = "out of memory";
            return false;
        }
        *array.slot = pp;
        for (std::size_t i = 0; i < array.count; i++) {
            in.take(pp[i], NC_VAR_TEXT_LEN);
            pp[i][NC_VAR_TEXT_LEN - 1] = '\0';
        }
        return true;
    }
    void* pData = std::malloc(expected > 0 ? expected : 1);
    if (pData == nullptr) {
        *pWhy = "out of memory";
        return false;
    }
    *array.slot = pData;
    return in.take(pData, expected);
}

}  // namespace

bool writeNcRadarBytes(NC_RADAR* pNc, IsolatedOutput& output) {
    if (!put(output, kMagic, sizeof(kMagic)) || !putNumber(output, sizeof(NC_RADAR)) ||
        !put(output, pNc, sizeof(NC_RADAR))) {
        return false;
    }
    for (const NcOwnedArray& array : ncOwnedArrays(pNc)) {
        const unsigned char present = *array.slot != nullptr ? 1 : 0;
        if (!put(output, &present, 1) ||
            !putNumber(output, present ? array.count * array.elementBytes : 0)) {
            return false;
        }
        if (present == 0) {
            continue;
        }
        if (array.text) {
            char** pp = static_cast<char**>(*array.slot);
            for (std::size_t i = 0; i < array.count; i++) {
                if (!put(output, pp[i], NC_VAR_TEXT_LEN)) {
                    return false;
                }
            }
        } else if (!put(output, *array.slot, array.count * array.elementBytes)) {
            return false;
        }
    }
    return true;
}

NC_RADAR* readNcRadarBytes(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy) {
    ByteReader in(pBytes, nBytes);
    unsigned char magic[sizeof(kMagic)] = {};
    std::uint64_t structBytes = 0;
    if (!in.take(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0 ||
        !in.number(&structBytes) || structBytes != sizeof(NC_RADAR) ||
        in.left() < sizeof(NC_RADAR)) {
        *pWhy = "not a volume hand-over";
        return nullptr;
    }
    auto* pNc = static_cast<NC_RADAR*>(std::calloc(1, sizeof(NC_RADAR)));
    if (pNc == nullptr) {
        *pWhy = "out of memory";
        return nullptr;
    }
    in.take(pNc, sizeof(NC_RADAR));
    // The child's pointers mean nothing here: clear every slot before anything can fail.
    const int nMoments = pNc->m_iMaxMoment;
    pNc->m_iMaxMoment = NC_MAX_MOMENT;
    for (const NcOwnedArray& array : ncOwnedArrays(pNc)) {
        *array.slot = nullptr;
    }
    pNc->m_iMaxMoment = 0;
    terminateTexts(pNc);
    if (!dimensionsValid(pNc->m_dim) || nMoments < 0 || nMoments > NC_MAX_MOMENT) {
        *pWhy = "impossible dimensions or moment count";
        fnFreeNcRadar(pNc);
        return nullptr;
    }
    for (int m = 0; m < nMoments; m++) {
        const int scale = pNc->m_moment_var[m].m_iScaleFactor;
        if (scale != 1 && scale != 10 && scale != 100) {
            *pWhy = "a moment scale factor of " + std::to_string(scale);
            fnFreeNcRadar(pNc);
            return nullptr;
        }
    }
    pNc->m_iMaxMoment = nMoments;
    for (const NcOwnedArray& array : ncOwnedArrays(pNc)) {
        if (!readArray(in, array, pWhy)) {
            fnFreeNcRadar(pNc);
            return nullptr;
        }
    }
    if (in.left() != 0) {
        *pWhy = std::to_string(in.left()) + " bytes too many";
        fnFreeNcRadar(pNc);
        return nullptr;
    }
    return pNc;
}
