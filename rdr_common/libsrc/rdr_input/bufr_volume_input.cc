// The BUFR volume loader: the message is located and decoded through the descriptor
// tables (bufr_message, bufr_decoder), then its values are read sequence by sequence into
// the ODIM-shaped records:
//   3-21-204  source entries (identifier type, 16-character value)
//   3-01-031  WMO block and station, date and time, position of the radar
//   3-21-203  polar volume without how information (the exchange's local tables 8)
//   3-21-207  polar volume with how information
// Each data item ends in a zlib-compressed array of rays x bins little-endian doubles
// (3-21-206), carried as runs of at most 65534 bytes.
#include <isa-l/igzip_lib.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core_utilities.h"
#include "internal/bufr_decoder.h"
#include "internal/bufr_tables.h"
#include "internal/bufr_volume_input.h"
#include "internal/fixed_text.h"

namespace {

constexpr const char* kLoad = "fnLoadBufrRadar";
// Bounds of a sweep's shape and of a file; real ones stay far below them.
constexpr long kMaxRays = 100000;
constexpr long kMaxBins = 100000;
constexpr long kMaxCells = 1L << 26;  // of one sweep: 256 MiB of floats
constexpr long kMaxDatasets = 1000;
constexpr long kMaxDataItems = 100;
constexpr long kMaxHowAttributes = 1000;
constexpr size_t kMaxFileBytes = size_t{1} << 30;
// zlib cannot inflate beyond about 1032 bytes per byte of input.
constexpr size_t kMaxInflateRatio = 1100;
// Arrays are inflated through a buffer of this many bytes (a multiple of 8), kept in cache.
constexpr size_t kInflateChunk = 32768;

constexpr int kSourceSequence = 321204;
constexpr int kStationSequence = 301031;
constexpr int kVolumeV20 = 321203;
constexpr int kVolumeV21 = 321207;

struct Refusal {
    std::string what;
};

[[noreturn]] void refuse(std::string why) {
    throw Refusal{std::move(why)};
}

std::string trimmed(std::string_view text) {
    size_t n = text.size();
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) {
        --n;
    }
    size_t len = 0;
    while (len < n && text[len] != '\0') {
        ++len;
    }
    return std::string(text.substr(0, len));
}

// Walks the values of one top-level group; every read names what it expected.
class Cursor {
  public:
    Cursor(const BufrValueList& values, const BufrValueList::Group& g)
        : m_values(values), m_i(g.first), m_end(g.end) {}

    bool atEnd() const { return m_i >= m_end; }

    const BufrValue& next(const char* szWhat) {
        if (m_i >= m_end) {
            refuse(std::string("the values end before ") + szWhat);
        }
        return m_values[m_i++];
    }

    // A number that may be missing: NaN then.
    double numberOrNan(const char* szWhat) {
        const BufrValue& v = next(szWhat);
        if (v.kind != BufrValue::Kind::kNumber) {
            refuse(std::string(szWhat) + " is not a number (" + bufrDescriptorName(v.iFxy) + ")");
        }
        return v.bMissing ? NAN : v.dValue;
    }

    double number(const char* szWhat) {
        const double d = numberOrNan(szWhat);
        if (std::isnan(d)) {
            refuse(std::string(szWhat) + " is missing");
        }
        return d;
    }

    long whole(const char* szWhat, long lo, long hi) {
        const double d = number(szWhat);
        if (d != std::trunc(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi)) {
            refuse(std::string(szWhat) + " " + std::to_string(d) + " is outside " +
                   std::to_string(lo) + ".." + std::to_string(hi));
        }
        return static_cast<long>(d);
    }

    std::string text(const char* szWhat) {
        const BufrValue& v = next(szWhat);
        if (v.kind != BufrValue::Kind::kText) {
            refuse(std::string(szWhat) + " is not text (" + bufrDescriptorName(v.iFxy) + ")");
        }
        return trimmed(m_values.textOf(v));
    }

    // n bytes given as byte runs or as numbers 0..255 (255 and missing are both 255).
    void bytes(size_t n, const char* szWhat, std::vector<unsigned char>* pOut) {
        while (n > 0) {
            const BufrValue& v = next(szWhat);
            if (v.kind == BufrValue::Kind::kBytes) {
                if (v.size > n) {
                    refuse(std::string(szWhat) + ": a byte run is longer than announced");
                }
                const unsigned char* p = m_values.bytesOf(v);
                pOut->insert(pOut->end(), p, p + v.size);
                n -= v.size;
            } else if (v.kind == BufrValue::Kind::kNumber &&
                       (v.bMissing || (v.dValue >= 0.0 && v.dValue <= 255.0 &&
                                       v.dValue == std::trunc(v.dValue)))) {
                pOut->push_back(v.bMissing ? 255 : static_cast<unsigned char>(v.dValue));
                --n;
            } else {
                refuse(std::string(szWhat) + " holds a value that is not a byte");
            }
        }
    }

    // One run of exactly n bytes, in place when the decoder handed it over whole.
    const unsigned char* run(size_t n, const char* szWhat, std::vector<unsigned char>* pScratch) {
        if (m_i < m_end && m_values[m_i].kind == BufrValue::Kind::kBytes &&
            m_values[m_i].size == n) {
            return m_values.bytesOf(m_values[m_i++]);
        }
        pScratch->clear();
        bytes(n, szWhat, pScratch);
        return pScratch->data();
    }

  private:
    const BufrValueList& m_values;
    size_t m_i;
    size_t m_end;
};

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
long daysFromCivil(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, long* pY, long* pM, long* pD) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    *pD = doy - (153 * mp + 2) / 5 + 1;
    *pM = mp < 10 ? mp + 3 : mp - 9;
    *pY = yoe + era * 400 + (*pM <= 2);
}

long floorDiv(long a, long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// ISA-L returns with the upper halves of the AVX registers still in use. The rest of the
// library is built for baseline x86-64 (SSE), and on this hardware SSE code after that
// runs several times slower (the standard volume's conversion: 6 ms instead of 1.5 ms for
// 0.55 M bins) until the upper halves are cleared.
void clearUpperVectorState() {
#if defined(__x86_64__)
    static const bool bAvx = __builtin_cpu_supports("avx");
    if (bAvx) {
        asm volatile("vzeroupper");
    }
#endif
}

class VolumeReader {
  public:
    VolumeReader(const BufrValueList& values, const BufrMessage& msg, BUFR_RADAR* pBufr)
        : m_values(values), m_msg(msg), m_pBufr(pBufr) {}

    void read() {
        bool bVolume = false;
        for (const BufrValueList::Group& g : m_values.groups()) {
            Cursor c(m_values, g);
            switch (g.iFxy) {
                case kSourceSequence:
                    readSource(c);
                    break;
                case kStationSequence:
                    readStation(c);
                    break;
                case kVolumeV20:
                case kVolumeV21:
                    if (bVolume) {
                        refuse("the message holds a second polar volume");
                    }
                    readVolume(c, g.iFxy == kVolumeV21);
                    bVolume = true;
                    break;
                default:
                    break;  // other descriptors carry nothing the volume keeps
            }
        }
        if (!bVolume) {
            refuse("the message holds no polar volume (3-21-203 or 3-21-207)");
        }
        finish();
    }

  private:
    // 3-21-204: a count, then per entry a 3-character type and a 16-character value.
    void readSource(Cursor& c) {
        const long n = c.whole("the number of source entries", 0, 255);
        for (long i = 0; i < n; ++i) {
            const std::string type = c.text("a source identifier type");
            const std::string value = c.text("a source identifier");
            if (type.empty() && value.empty()) {
                continue;
            }
            m_sourceEntries.push_back(type + ":" + value);
        }
    }

    // 3-01-031: block, station, station type, year, month, day, hour, minute, lat, lon,
    // height.
    void readStation(Cursor& c) {
        const double block = c.numberOrNan("the WMO block number");
        const double station = c.numberOrNan("the WMO station number");
        c.numberOrNan("the station type");
        const long year = c.whole("the year", 0, 9999);
        const long month = c.whole("the month", 1, 12);
        const long day = c.whole("the day", 1, 31);
        const long hour = c.whole("the hour", 0, 24);
        const long minute = c.whole("the minute", 0, 59);
        const double lat = c.number("the radar's latitude");
        const double lon = c.number("the radar's longitude");
        const double height = c.numberOrNan("the radar's height");
        if (!std::isnan(block) && !std::isnan(station)) {
            char sz[32];
            std::snprintf(sz, sizeof sz, "WMO:%02d%03d", static_cast<int>(block),
                          static_cast<int>(station));
            m_wmo = sz;
        }
        HDF_TOP_WHAT& w = m_pBufr->m_what;
        if (!bufrNormalisedDateTime(year, month, day, hour, minute, 0, w.m_szDate, w.m_szTime)) {
            refuse("the station's date is out of range");
        }
        m_bTime = true;
        HDF_POLAR_WHERE& p = m_pBufr->m_where.m_polar_where;
        p.m_dLat = lat;
        p.m_dLon = lon;
        p.m_dHeightM = std::isnan(height) ? 0.0 : height;
    }

    // A how block: string attributes (16-character name and value), then numeric ones
    // (16-character name, eight bytes of a little-endian IEEE double).
    void readHow(Cursor& c, HDF_HOW* pHow) {
        HDF_GENERAL_HOW& gh = pHow->m_general_how;
        HDF_POLAR_HOW& ph = pHow->m_polar_how;
        struct TextField {
            const char* name;
            char* dst;
            size_t n;
        };
        const TextField texts[] = {
            {"task", gh.m_szTask, sizeof gh.m_szTask},
            {"task_arg", gh.m_szTaskArg, sizeof gh.m_szTaskArg},
            {"system", gh.m_szSystem, sizeof gh.m_szSystem},
            {"TXtype", gh.m_szTXtype, sizeof gh.m_szTXtype},
            {"poltype", gh.m_szPoltype, sizeof gh.m_szPoltype},
            {"polmode", gh.m_szPolmode, sizeof gh.m_szPolmode},
            {"software", gh.m_szSoftware, sizeof gh.m_szSoftware},
            {"sw_version", gh.m_szSW_version, sizeof gh.m_szSW_version},
            {"simulated", gh.m_bSimulated, sizeof gh.m_bSimulated},
            {"azmethod", ph.m_szAzmethod, sizeof ph.m_szAzmethod},
            {"elmethod", ph.m_szElmethod, sizeof ph.m_szElmethod},
            {"binmethod", ph.m_szBinmethod, sizeof ph.m_szBinmethod},
        };
        const long nTexts = c.whole("the number of how texts", 0, kMaxHowAttributes);
        for (long i = 0; i < nTexts; ++i) {
            const std::string name = c.text("a how text's name");
            const std::string value = c.text("a how text's value");
            for (const TextField& t : texts) {
                if (name == t.name) {
                    copyFixedText(t.dst, t.n, value.c_str());
                }
            }
        }
        HDF_RADAR_HOW& r = pHow->m_radar_how;
        struct NumberField {
            const char* name;
            double* dst;
        };
        const NumberField numbers[] = {
            {"startepochs", &gh.m_dStartepochs},
            {"endepochs", &gh.m_dEndepochs},
            {"zr_a", &gh.m_dZr_a},
            {"zr_b", &gh.m_dZr_b},
            {"kr_a", &gh.m_dKr_a},
            {"kr_b", &gh.m_dKr_b},
            {"beamwidth", &r.m_dBeamwidth},
            {"wavelength", &r.m_dWaveLength},
            {"elevspeed", &r.m_dElevsSpeed},
            {"pulsewidth", &r.m_dPulseWidth},
            {"RXbandwidth", &r.m_dRXbandWidth},
            {"lowprf", &r.m_dLowPrf},
            {"midprf", &r.m_dMidPrf},
            {"highprf", &r.m_dHighPrf},
            {"TXlossH", &r.m_dTXlossH},
            {"injectlossH", &r.m_dInjectlossH},
            {"injectlossV", &r.m_dInjectlossV},
            {"RXlossH", &r.m_dRXlossH},
            {"RXlossV", &r.m_dRXlossV},
            {"radomelossH", &r.m_dRadomelossH},
            {"radomelossV", &r.m_dRadomelossV},
            {"antgainH", &r.m_dAntgainH},
            {"antgainV", &r.m_dAntgainV},
            {"beamwH", &r.m_dBeamwH},
            {"beamwV", &r.m_dBeamwV},
            {"gasattn", &r.m_dGasattn},
            {"radconstH", &r.m_dRadconstH},
            {"radconstV", &r.m_dRadconstV},
            {"nomTXpower", &r.m_dNomTXpower},
            {"powerdiff", &r.m_dPowerDiff},
            {"phasediff", &r.m_dPhaseDiff},
            {"NI", &r.m_dNi},
            {"astart", &ph.m_dAstart},
        };
        const long nNumbers = c.whole("the number of how numbers", 0, kMaxHowAttributes);
        std::vector<unsigned char> raw;
        for (long i = 0; i < nNumbers; ++i) {
            const std::string name = c.text("a how number's name");
            raw.clear();
            c.bytes(8, "a how number's value", &raw);
            uint64_t bits = 0;
            for (int k = 7; k >= 0; --k) {
                bits = (bits << 8) | raw[static_cast<size_t>(k)];
            }
            double value = 0.0;
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value)) {
                continue;  // an attribute no writer meant: left unset
            }
            for (const NumberField& f : numbers) {
                if (name == f.name) {
                    *f.dst = value;
                }
            }
        }
    }

    void readDateTime(Cursor& c, const char* szWhich, char szDate[9], char szTime[7]) {
        const std::string what = std::string("the ") + szWhich;
        const long year = c.whole((what + " year").c_str(), 0, 9999);
        const long month = c.whole((what + " month").c_str(), 0, 15);
        const long day = c.whole((what + " day").c_str(), 0, 63);
        const long hour = c.whole((what + " hour").c_str(), 0, 31);
        const long minute = c.whole((what + " minute").c_str(), 0, 63);
        const long second = c.whole((what + " second").c_str(), 0, 63);
        if (!bufrNormalisedDateTime(year, month, day, hour, minute, second, szDate, szTime)) {
            refuse(what + " is out of range");
        }
    }

    void readVolume(Cursor& c, bool bWithHow) {
        HDF_HOW volumeHow{};
        if (bWithHow) {
            readHow(c, &volumeHow);
        }
        m_pBufr->m_how = volumeHow;
        const long nDatasets = c.whole("the number of datasets", 1, kMaxDatasets);
        m_pBufr->m_ppDataset = static_cast<HDF_DATASET**>(
            std::calloc(static_cast<size_t>(nDatasets), sizeof(HDF_DATASET*)));
        if (m_pBufr->m_ppDataset == nullptr) {
            throw std::bad_alloc();
        }
        m_pBufr->m_iMaxDataset = static_cast<int>(nDatasets);
        for (long d = 0; d < nDatasets; ++d) {
            auto* pDataset = static_cast<HDF_DATASET*>(std::calloc(1, sizeof(HDF_DATASET)));
            m_pBufr->m_ppDataset[d] = pDataset;
            if (pDataset == nullptr) {
                throw std::bad_alloc();
            }
            readDataset(c, bWithHow, pDataset);
        }
    }

    void readDataset(Cursor& c, bool bWithHow, HDF_DATASET* pDataset) {
        pDataset->m_how = m_pBufr->m_how;
        if (bWithHow) {
            readHow(c, &pDataset->m_how);
        }
        HDF_DATASET_WHAT& w = pDataset->m_what;
        readDateTime(c, "start", w.m_szStartDate, w.m_szStartTime);
        readDateTime(c, "end", w.m_szEndDate, w.m_szEndTime);
        if (bWithHow) {
            copyFixedText(w.m_szProduct, sizeof w.m_szProduct, c.text("the product name").c_str());
        } else {
            c.numberOrNan("the product type");
            copyFixedText(w.m_szProduct, sizeof w.m_szProduct, "SCAN");
        }
        w.m_dGain = 1.0;
        HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
        p.m_dElangle = c.number("the elevation angle");
        p.m_nBins = c.whole("the bin count", 1, kMaxBins);
        p.m_dRScale = c.number("the bin spacing");
        p.m_dRstart = c.number("the range of the first bin") / 1000.0;
        p.m_nRays = c.whole("the ray count", 1, kMaxRays);
        p.m_lA1gate = c.whole("the first ray's index", 0, p.m_nRays - 1);
        if (p.m_nRays * p.m_nBins > kMaxCells) {
            refuse(std::to_string(p.m_nRays) + " rays x " + std::to_string(p.m_nBins) +
                   " bins is more than a sweep can hold");
        }
        if (std::fabs(p.m_dElangle) > 90.0) {
            refuse("an elevation of " + std::to_string(p.m_dElangle) + " degrees");
        }
        if (!(p.m_dRScale > 0.0 && p.m_dRScale < 1.0e6)) {
            refuse("a bin spacing of " + std::to_string(p.m_dRScale) + " m");
        }
        const long nData = c.whole("the number of data items", 1, kMaxDataItems);
        pDataset->m_ppData =
            static_cast<HDF_DATA**>(std::calloc(static_cast<size_t>(nData), sizeof(HDF_DATA*)));
        if (pDataset->m_ppData == nullptr) {
            throw std::bad_alloc();
        }
        pDataset->m_iMaxData = static_cast<int>(nData);
        for (long m = 0; m < nData; ++m) {
            auto* pData = static_cast<HDF_DATA*>(std::calloc(1, sizeof(HDF_DATA)));
            pDataset->m_ppData[m] = pData;
            if (pData == nullptr) {
                throw std::bad_alloc();
            }
            readData(c, bWithHow, pDataset, pData);
        }
    }

    static const char* quantityOfCode(double code) {
        if (code == 0.0) {
            return "DBZH";
        }
        if (code == 40.0) {
            return "VRAD";
        }
        if (code == 91.0) {
            return "TH";
        }
        if (code == 92.0) {
            return "WRAD";
        }
        return "";
    }

    void readData(Cursor& c, bool bWithHow, const HDF_DATASET* pDataset, HDF_DATA* pData) {
        HDF_DATASET_WHAT& w = pData->m_what;
        w = pDataset->m_what;
        pData->m_how = pDataset->m_how;
        std::string quantity;
        if (bWithHow) {
            readHow(c, &pData->m_how);
            quantity = c.text("the quantity");
        } else {
            const double code = c.numberOrNan("the quantity code");
            quantity = std::isnan(code) ? "" : quantityOfCode(code);
        }
        copyFixedText(w.m_szQuantity, sizeof w.m_szQuantity, quantity.c_str());
        const HDF_POLAR_WHERE& where = pDataset->m_where.m_polar_where;
        pData->m_where.m_polar_where = where;
        copyFixedText(pData->m_szClass, sizeof pData->m_szClass, "IMAGE");
        copyFixedText(pData->m_szVersion, sizeof pData->m_szVersion, "1.2");

        const std::string item = "data item " + std::string(w.m_szQuantity);
        const size_t nCompressed = compressedArray(c, item);
        const size_t nExpected = static_cast<size_t>(where.m_nRays) *
                                 static_cast<size_t>(where.m_nBins) * sizeof(double);
        if (nExpected > nCompressed * kMaxInflateRatio + 1024) {
            refuse(item + ": " + std::to_string(nCompressed) + " compressed bytes cannot hold " +
                   std::to_string(where.m_nRays) + " rays x " + std::to_string(where.m_nBins) +
                   " bins");
        }
        pData->m_ppData =
            fnMakeMatrix2D_F(static_cast<int>(where.m_nRays), static_cast<int>(where.m_nBins));
        if (pData->m_ppData == nullptr) {
            throw std::bad_alloc();
        }
        if (!inflateIntoRows(m_compressedPtr, nCompressed, where.m_nBins, nExpected,
                             pData->m_ppData)) {
            inflateWithZlib(item, nCompressed, where, nExpected, pData->m_ppData);
        }
        // The matrix holds physical values and the grid codes, as an ODIM_H5 load's does.
        w.m_dGain = 1.0;
        w.m_dOffset = 0.0;
        w.m_dNodata = HDF_NODATA_VALUE;
        w.m_dUndetect = HDF_UNDETECT_VALUE;
    }

    // The fast path: ISA-L inflates through a small buffer straight into the rows. False
    // for any stream it does not end cleanly at exactly nExpected bytes; zlib then decides.
    bool inflateIntoRows(const unsigned char* z, size_t nz, long nBins, size_t nExpected,
                         float** rows) {
        if (nz > UINT32_MAX) {
            return false;
        }
        inflate_state state{};
        isal_inflate_init(&state);
        state.crc_flag = ISAL_ZLIB;
        state.next_in = const_cast<unsigned char*>(z);
        state.avail_in = static_cast<uint32_t>(nz);
        m_chunk.resize(kInflateChunk + 8);
        size_t nDone = 0;   // bytes inflated so far
        size_t nCarry = 0;  // bytes of a double split across two chunks
        while (state.block_state != ISAL_BLOCK_FINISH) {
            const size_t room = std::min(kInflateChunk, nExpected - nDone) + 8 - nCarry;
            state.next_out = m_chunk.data() + nCarry;
            state.avail_out = static_cast<uint32_t>(room);
            const int rc = isal_inflate(&state);
            clearUpperVectorState();
            if (rc != ISAL_DECOMP_OK) {
                return false;
            }
            const size_t nOut = room - state.avail_out;
            if (nOut == 0 && state.block_state != ISAL_BLOCK_FINISH) {
                return false;  // no input left, or no progress
            }
            if (nDone + nOut > nExpected) {
                return false;
            }
            const size_t nBytes = nCarry + nOut;
            const size_t nWhole = nBytes / 8;
            decodeDoubles(m_chunk.data(), nDone / 8 - nCarry / 8, nWhole, nBins, rows);
            nCarry = nBytes - nWhole * 8;
            std::memmove(m_chunk.data(), m_chunk.data() + nWhole * 8, nCarry);
            nDone += nOut;
        }
        return nDone == nExpected && nCarry == 0;
    }

    // The verdict of zlib, which has always read these arrays, and the values when it
    // accepts what ISA-L refused.
    void inflateWithZlib(const std::string& item, size_t nCompressed, const HDF_POLAR_WHERE& where,
                         size_t nExpected, float** rows) {
        m_inflated.resize(nExpected);
        uLongf nInflated = static_cast<uLongf>(nExpected);
        const int rc = uncompress(m_inflated.data(), &nInflated, m_compressedPtr,
                                  static_cast<uLong>(nCompressed));
        if (rc == Z_BUF_ERROR && nInflated == nExpected) {
            refuse(item + ": the array inflates to more than " + std::to_string(where.m_nRays) +
                   " rays x " + std::to_string(where.m_nBins) + " bins of 8 bytes");
        }
        if (rc != Z_OK) {
            refuse(item + ": the compressed array is corrupt (zlib: " +
                   (rc == Z_DATA_ERROR  ? std::string("data error")
                    : rc == Z_MEM_ERROR ? std::string("out of memory")
                                        : std::string("ends early")) +
                   ")");
        }
        if (nInflated != nExpected) {
            refuse(item + ": the array inflates to " + std::to_string(nInflated) + " bytes where " +
                   std::to_string(where.m_nRays) + " rays x " + std::to_string(where.m_nBins) +
                   " bins of 8 bytes are " + std::to_string(nExpected));
        }
        decodeDoubles(m_inflated.data(), 0, nExpected / 8, where.m_nBins, rows);
    }

    // 3-21-206: compression method, number of runs, then each run's length and bytes.
    // Leaves the stream at m_compressedPtr and returns its length.
    size_t compressedArray(Cursor& c, const std::string& item) {
        const double method = c.numberOrNan((item + ": the compression method").c_str());
        if (method != 0.0) {
            refuse(item + ": compression method " + std::to_string(method) +
                   " is not read (0, zlib, is)");
        }
        const long nRuns = c.whole((item + ": the number of byte runs").c_str(), 1, 1L << 24);
        m_compressed.clear();
        const unsigned char* pFirst = nullptr;
        size_t nTotal = 0;
        bool bContiguous = true;
        for (long r = 0; r < nRuns; ++r) {
            const long n = c.whole((item + ": a byte run's length").c_str(), 0, 1L << 24);
            if (n == 0) {
                continue;
            }
            const unsigned char* p = c.run(static_cast<size_t>(n), "a compressed byte run", &m_run);
            // Runs the decoder kept end to end are inflated where they lie.
            if (bContiguous && (pFirst == nullptr || p == pFirst + nTotal) && p != m_run.data()) {
                if (pFirst == nullptr) {
                    pFirst = p;
                }
            } else {
                if (bContiguous && pFirst != nullptr) {
                    m_compressed.assign(pFirst, pFirst + nTotal);
                }
                bContiguous = false;
                m_compressed.insert(m_compressed.end(), p, p + n);
            }
            nTotal += static_cast<size_t>(n);
        }
        if (nTotal == 0) {
            refuse(item + ": the compressed array is empty");
        }
        m_compressedPtr = bContiguous ? pFirst : m_compressed.data();
        return nTotal;
    }

    // n little-endian doubles to physical floats from cell `first` on (row-major): the
    // largest double is "nodata", its negative "undetect", as the exchange writes them.
    static void decodeDoubles(const unsigned char* in, size_t first, size_t n, long nBins,
                              float** rows) {
        const size_t bins = static_cast<size_t>(nBins);
        size_t r = first / bins;
        size_t b = first % bins;
        // Row by row, so that the inner loop is a plain run the compiler can widen.
        for (size_t k = 0; k < n;) {
            const size_t span = std::min(n - k, bins - b);
            float* out = rows[r] + b;
            const unsigned char* p = in + k * 8;
            for (size_t i = 0; i < span; ++i) {
                uint64_t bits;
                std::memcpy(&bits, p + i * 8, 8);
                if constexpr (std::endian::native == std::endian::big) {
                    bits = __builtin_bswap64(bits);
                }
                double d;
                std::memcpy(&d, &bits, 8);
                // False for NaN, the infinities and both codes (+-DBL_MAX).
                const bool bValue = std::fabs(d) < 3.0e38;
                const float code = d == -DBL_MAX ? HDF_UNDETECT_VALUE : HDF_NODATA_VALUE;
                out[i] = bValue ? static_cast<float>(d) : code;
            }
            k += span;
            b += span;
            if (b == bins) {
                b = 0;
                ++r;
            }
        }
    }

    void finish() {
        HDF_TOP_WHAT& w = m_pBufr->m_what;
        copyFixedText(w.m_szObject, sizeof w.m_szObject, "PVOL");
        copyFixedText(w.m_szVersion, sizeof w.m_szVersion, "H5rad 1.0");
        if (!m_bTime &&
            !bufrNormalisedDateTime(m_msg.iYear, m_msg.iMonth, m_msg.iDay, m_msg.iHour,
                                    m_msg.iMinute, m_msg.iSecond, w.m_szDate, w.m_szTime)) {
            refuse("the message's date is out of range");
        }
        std::string source;
        for (const std::string& entry : m_sourceEntries) {
            source += (source.empty() ? "" : ",") + entry;
        }
        if (!m_wmo.empty()) {
            source += (source.empty() ? "" : ",") + m_wmo;
        }
        if (source.size() >= sizeof w.m_szSource) {
            refuse("the source entries are longer than " + std::to_string(sizeof w.m_szSource - 1) +
                   " characters");
        }
        copyFixedText(w.m_szSource, sizeof w.m_szSource, source.c_str());
        // Every sweep is at the radar's position, as in an ODIM_H5 load.
        const HDF_POLAR_WHERE& top = m_pBufr->m_where.m_polar_where;
        for (int d = 0; d < m_pBufr->m_iMaxDataset; ++d) {
            HDF_DATASET* pDataset = m_pBufr->m_ppDataset[d];
            HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
            p.m_dLat = top.m_dLat;
            p.m_dLon = top.m_dLon;
            p.m_dHeightM = top.m_dHeightM;
            for (int m = 0; m < pDataset->m_iMaxData; ++m) {
                pDataset->m_ppData[m]->m_where.m_polar_where = pDataset->m_where.m_polar_where;
            }
        }
        m_pBufr->m_iHdfType = HDF_EN_R_TYPE_POLAR;
        copyFixedText(m_pBufr->m_szConventions, sizeof m_pBufr->m_szConventions, "ODIM_H5/V2_1");
    }

    const BufrValueList& m_values;
    const BufrMessage& m_msg;
    BUFR_RADAR* m_pBufr;
    std::vector<std::string> m_sourceEntries;
    std::string m_wmo;
    bool m_bTime = false;
    std::vector<unsigned char> m_compressed;
    std::vector<unsigned char> m_run;
    const unsigned char* m_compressedPtr = nullptr;
    std::vector<unsigned char> m_inflated;
    std::vector<unsigned char> m_chunk;
};

// The file's bytes, inflated when it is gzip-compressed.
bool readWholeFile(const char* szFile, std::vector<unsigned char>* pBytes, std::string* pWhy) {
    gzFile gz = gzopen(szFile, "rb");
    if (gz == nullptr) {
        *pWhy = std::string("cannot open: ") + std::strerror(errno != 0 ? errno : ENOMEM);
        return false;
    }
    pBytes->clear();
    // A plain file is read whole into memory of its size: no regrowth and copies.
    struct stat st {};
    size_t n = 0;
    if (stat(szFile, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<size_t>(st.st_size) <= kMaxFileBytes) {
        pBytes->resize(static_cast<size_t>(st.st_size));
    }
    while (true) {
        if (n == pBytes->size()) {
            if (n >= kMaxFileBytes) {
                *pWhy = "larger than a BUFR message can be";
                gzclose(gz);
                return false;
            }
            pBytes->resize(std::min(kMaxFileBytes, std::max<size_t>(n * 2, 1 << 16)));
        }
        const size_t room = std::min<size_t>(pBytes->size() - n, 1u << 30);
        const int iRead = gzread(gz, pBytes->data() + n, static_cast<unsigned>(room));
        if (iRead < 0) {
            int iErr = Z_OK;
            const char* sz = gzerror(gz, &iErr);
            *pWhy = std::string("read error (") + (sz != nullptr ? sz : "?") + ")";
            gzclose(gz);
            return false;
        }
        if (iRead == 0) {
            break;
        }
        n += static_cast<size_t>(iRead);
    }
    gzclose(gz);
    pBytes->resize(n);
    return true;
}

}  // namespace

bool bufrNormalisedDateTime(long year, long month, long day, long hour, long minute, long second,
                            char szDate[9], char szTime[7]) {
    if (year < -1 || year > 10000 || month < -1000 || month > 1000 || day < -100000 ||
        day > 100000 || hour < -100000 || hour > 100000 || minute < -100000 || minute > 100000 ||
        second < -1000000 || second > 1000000) {
        return false;
    }
    const long months = month - 1;
    const long y = year + floorDiv(months, 12);
    const long m = months - 12 * floorDiv(months, 12) + 1;
    const long seconds =
        ((daysFromCivil(y, m, 1) + day - 1) * 24 + hour) * 3600 + minute * 60 + second;
    const long days = floorDiv(seconds, 86400);
    const long rest = seconds - days * 86400;
    long cy = 0, cm = 0, cd = 0;
    civilFromDays(days, &cy, &cm, &cd);
    if (cy < 0 || cy > 9999) {
        return false;
    }
    // Every part is in range here: written digit by digit.
    const auto digits = [](char* dst, long value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            dst[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        dst[n] = '\0';
    };
    digits(szDate, cy, 4);
    digits(szDate + 4, cm, 2);
    digits(szDate + 6, cd, 2);
    digits(szTime, rest / 3600, 2);
    digits(szTime + 2, rest / 60 % 60, 2);
    digits(szTime + 4, rest % 60, 2);
    return true;
}

bool bufrVolumeFromValues(const BufrValueList& values, const BufrMessage& msg, BUFR_RADAR* pBufr,
                          std::string* pWhy) {
    try {
        VolumeReader(values, msg, pBufr).read();
    } catch (const Refusal& refusal) {
        *pWhy = refusal.what;
        return false;
    } catch (const std::bad_alloc&) {
        *pWhy = "out of memory";
        return false;
    }
    return true;
}

BUFR_RADAR* loadBufrRadarFromBytes(const unsigned char* p, size_t n, const std::string& tableRoot,
                                   std::string* pWhy) {
    BufrMessage msg;
    if (!parseBufrMessage(p, n, &msg, pWhy)) {
        return nullptr;
    }
    BufrTables tables;
    if (!tables.load(tableRoot, msg.iMaster, msg.iCentre, msg.iSubcentre, msg.iLocal, pWhy)) {
        return nullptr;
    }
    BufrValueList values;
    try {
        values.reserveBytes(msg.nDataBits / 8);
        if (!decodeBufrData(msg, tables, values, pWhy)) {
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        *pWhy = "out of memory";
        return nullptr;
    }
    auto* pBufr = static_cast<BUFR_RADAR*>(std::calloc(1, sizeof(BUFR_RADAR)));
    if (pBufr == nullptr) {
        *pWhy = "calloc fail";
        return nullptr;
    }
    if (!bufrVolumeFromValues(values, msg, pBufr, pWhy)) {
        fnFreeBufrRadar(pBufr);
        return nullptr;
    }
    return pBufr;
}

BUFR_RADAR* fnLoadBufrRadar(const char* szFile) {
    if (szFile == nullptr) {
        rdrError(kLoad, "no file name");
        return nullptr;
    }
    std::vector<unsigned char> bytes;
    std::string why;
    BUFR_RADAR* pBufr = nullptr;
    if (readWholeFile(szFile, &bytes, &why)) {
        pBufr = loadBufrRadarFromBytes(bytes.data(), bytes.size(), bufrTableRoot(), &why);
    }
    if (pBufr == nullptr) {
        rdrError(kLoad, (std::string(szFile) + ": " + why).c_str());
    }
    return pBufr;
}
