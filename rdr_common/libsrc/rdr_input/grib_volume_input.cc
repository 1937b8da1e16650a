// GRIB volume loader: the file's messages are framed and identified here, then decoded by
// ecCodes in a child process (ecCodes trusts a message's own lengths and can crash on a
// damaged one); the child hands the GRIB_RADAR back as bytes.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core_utilities.h"
#include "grib_radar.h"
#include "internal/eccodes_library.h"
#include "internal/fixed_text.h"
#include "internal/grib_volume_input.h"

namespace {

constexpr const char* kLoad = "fnLoadGribRadar";
constexpr unsigned char kVolumeSignature[4] = {'R', 'D', 'C', 'V'};
constexpr std::size_t kSection0Bytes = 16;

// A real volume of a few hundred MB of values decodes in seconds; a runaway allocation
// stops well short of the machine's memory.
IsolationLimits g_limits = {
    std::size_t{3} << 30,  // address space
    60,                    // CPU seconds
    120,                   // wall seconds
    std::size_t{3} << 30,  // result bytes
};

std::uint64_t bigEndian(const unsigned char* p, int nBytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < nBytes; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

bool fail(const std::string& why) {
    rdrError(kLoad, why.c_str());
    return false;
}

struct HandleDeleter {
    void operator()(codes_handle* h) const { ec().handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// One message's keys, each failure named with the message's number.
class MessageKeys {
  public:
    MessageKeys(codes_handle* h, int iMessage) : h_(h), iMessage_(iMessage) {}

    bool get(const char* szKey, long* pValue) const {
        const int err = ec().get_long(h_, szKey, pValue);
        return err == CODES_SUCCESS || missing(szKey, err);
    }

    // An integer key that must lie within [lo, hi].
    bool get(const char* szKey, long lo, long hi, int* pValue) const {
        long v = 0;
        if (!get(szKey, &v)) {
            return false;
        }
        if (v < lo || v > hi) {
            return fail("message " + std::to_string(iMessage_ + 1) + ": " + szKey + " " +
                        std::to_string(v) + " is outside " + std::to_string(lo) + " to " +
                        std::to_string(hi));
        }
        *pValue = static_cast<int>(v);
        return true;
    }

    bool get(const char* szKey, float* pValue) const {
        double v = 0;
        const int err = ec().get_double(h_, szKey, &v);
        if (err != CODES_SUCCESS) {
            return missing(szKey, err);
        }
        *pValue = static_cast<float>(v);
        return true;
    }

    template <std::size_t N>
    bool text(const char* szKey, char (&szOut)[N]) const {
        char buf[64] = {};
        std::size_t n = sizeof(buf);
        const int err = ec().get_string(h_, szKey, buf, &n);
        if (err != CODES_SUCCESS) {
            return missing(szKey, err);
        }
        copyFixedText(szOut, N, buf, sizeof(buf));
        return true;
    }

    // An array key of exactly n elements.
    template <class T>
    bool array(const char* szKey, std::size_t n, std::vector<T>* pOut) const {
        std::size_t size = 0;
        int err = ec().get_size(h_, szKey, &size);
        if (err != CODES_SUCCESS) {
            return missing(szKey, err);
        }
        if (size != n) {
            return fail("message " + std::to_string(iMessage_ + 1) + ": " + szKey + " has " +
                        std::to_string(size) + " elements, not " + std::to_string(n));
        }
        pOut->resize(n);
        if constexpr (std::is_same_v<T, double>) {
            err = ec().get_double_array(h_, szKey, pOut->data(), &size);
        } else {
            err = ec().get_long_array(h_, szKey, pOut->data(), &size);
        }
        if (err != CODES_SUCCESS || size != n) {
            return missing(szKey, err);
        }
        return true;
    }

  private:
    bool missing(const char* szKey, int err) const {
        return fail("message " + std::to_string(iMessage_ + 1) + ": cannot read " + szKey + " (" +
                    ec().get_error_message(err) + ")");
    }

    codes_handle* h_;
    int iMessage_;
};

// Stored values were integers when written; a decoded value is rounded to the nearest one
// (2549.9999 is 2550, not 2549; halves to even) and held within 16 bits instead of
// wrapping; NaN is no data.
short storedValue(double v, short noData) {
    constexpr double kRound = 6755399441055744.0;  // adding and taking away 1.5 x 2^52 rounds
    v = v != v ? noData : v;
    v = v < SHRT_MIN ? SHRT_MIN : v;
    v = v > SHRT_MAX ? SHRT_MAX : v;
    return static_cast<short>(static_cast<int>((v + kRound) - kRound));
}

// The same for a whole message, four values a step where SSE2 is there (every x86-64):
// the rounding is then the conversion's own, to nearest with halves to even.
void storeValues(const double* pIn, std::size_t n, short noData, short* pOut) {
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128d lo = _mm_set1_pd(SHRT_MIN);
    const __m128d hi = _mm_set1_pd(SHRT_MAX);
    const __m128d none = _mm_set1_pd(noData);
    auto held = [&](__m128d v) {
        const __m128d nan = _mm_cmpunord_pd(v, v);
        v = _mm_or_pd(_mm_and_pd(nan, none), _mm_andnot_pd(nan, v));
        return _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(v, lo), hi));
    };
    for (; i + 4 <= n; i += 4) {
        const __m128i four =
            _mm_unpacklo_epi64(held(_mm_loadu_pd(pIn + i)), held(_mm_loadu_pd(pIn + i + 2)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut + i), _mm_packs_epi32(four, four));
    }
#endif
    for (; i < n; ++i) {
        pOut[i] = storedValue(pIn[i], noData);
    }
}

struct Shape {
    int nSweep = 0;
    int nRay = 0;
    int nField = 0;
};

bool readShape(const MessageKeys& keys, Shape* pShape, int* pBins, int* pFieldIndex) {
    return keys.get("rdc_sweep_count", 1, INT_MAX, &pShape->nSweep) &&
           keys.get("rdc_ray_count", 1, INT_MAX, &pShape->nRay) &&
           keys.get("rdc_field_count", 1, GRIB_MAX_FIELD, &pShape->nField) &&
           keys.get("rdc_bin_count", 1, INT_MAX, pBins) &&
           keys.get("rdc_field_index", 0, GRIB_MAX_FIELD, pFieldIndex);
}

// UTC seconds of the message's reference time.
bool readTime(const MessageKeys& keys, time_t* pTime) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!keys.get("year", 1, 9999, &year) || !keys.get("month", 1, 12, &month) ||
        !keys.get("day", 1, 31, &day) || !keys.get("hour", 0, 23, &hour) ||
        !keys.get("minute", 0, 59, &minute) || !keys.get("second", 0, 60, &second)) {
        return false;
    }
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    *pTime = timegm(&tm);
    return true;
}

bool readHeader(const MessageKeys& keys, GRIB_GLOBAL_HDR* pHdr) {
    long lat = 0, lon = 0;
    GRIB_GLOBAL_HDR& h = *pHdr;
    if (!keys.text("rdc_radar_name", h.m_szRadarName) ||
        !keys.text("rdc_site_name", h.m_szSiteName) ||
        !keys.text("rdc_generator_name", h.m_szConvertName) ||
        !keys.text("rdc_project_name", h.m_szProjectName) ||
        !keys.text("rdc_field_tape_name", h.m_szFieldTapeName) ||
        !keys.text("rdc_threshold_type", h.m_szThresholdType) ||
        !keys.text("rdc_edit_code", h.m_szEditCode) || !keys.get("siteLatitude", &lat) ||
        !keys.get("siteLongitude", &lon) ||
        !keys.get("siteElevation", INT_MIN, INT_MAX, &h.m_iAnteHeight) ||
        !keys.get("rdc_volume_number", INT_MIN, INT_MAX, &h.m_iVolumeNo) ||
        !keys.get("rdc_sweep_mode", INT_MIN, INT_MAX, &h.m_iSweepMode) ||
        !keys.get("rdc_sweep_rate", &h.m_fSweepRate) ||
        !keys.get("rdc_nodata_value", SHRT_MIN, SHRT_MAX, &h.m_iNoDataValue) ||
        !keys.get("rdc_scale_factor", INT_MIN, INT_MAX, &h.m_iScaleFactor) ||
        !keys.get("rdc_start_range_meter", &h.m_fStartRangeMeter) ||
        !keys.get("rangeBinSpacing", 0, INT_MAX, &h.m_iBinSpacing) ||
        !keys.get("rdc_baseline_azimuth", &h.m_fBaselineAzimuth) ||
        !keys.get("rdc_baseline_elevation", &h.m_fBaselineElevation) ||
        !keys.get("rdc_pulse_width", INT_MIN, INT_MAX, &h.m_iPulseWidth) ||
        !keys.get("rdc_beam_width_h", &h.m_fBeamWidthH) ||
        !keys.get("rdc_beam_width_v", &h.m_fBeamWidthV) ||
        !keys.get("rdc_band_width", INT_MIN, INT_MAX, &h.m_iBandWidth) ||
        !keys.get("rdc_polar_mode", INT_MIN, INT_MAX, &h.m_iPolarMode) ||
        !keys.get("rdc_wave_length", &h.m_fWaveLength) ||
        !keys.get("rdc_sample_size", INT_MIN, INT_MAX, &h.m_iSampleSize) ||
        !keys.get("rdc_threshold_value", INT_MIN, INT_MAX, &h.m_iThresholdValue) ||
        !keys.get("rdc_scale", INT_MIN, INT_MAX, &h.m_iScale) ||
        !keys.get("rdc_prt", INT_MIN, INT_MAX, &h.m_iPRT) ||
        !keys.get("rdc_bits_per_bin", INT_MIN, INT_MAX, &h.m_iBitsPerBin) ||
        !readTime(keys, &h.m_tConvertTime)) {
        return false;
    }
    h.m_dLat = lat / 1e6;
    h.m_dLon = lon / 1e6;
    return true;
}

bool readSweepsAndRays(const MessageKeys& keys, GRIB_RADAR* pGrib) {
    GRIB_GLOBAL_HDR& h = pGrib->m_hdr;
    const std::size_t nSweep = static_cast<std::size_t>(h.m_iMaxSweep);
    const std::size_t nRay = static_cast<std::size_t>(h.m_iMaxRay);
    std::vector<long> longs;
    std::vector<double> doubles;
    if (!keys.array("rdc_ray_number", nSweep, &longs)) {
        return false;
    }
    long nRays = 0;
    for (std::size_t s = 0; s < nSweep; ++s) {
        if (longs[s] < 0 || longs[s] > h.m_iMaxRay - nRays) {
            return fail("the sweeps' ray counts (rdc_ray_number) exceed rdc_ray_count " +
                        std::to_string(h.m_iMaxRay));
        }
        nRays += longs[s];
        h.m_pMaxRay[s] = longs[s];
    }
    if (nRays != h.m_iMaxRay) {
        return fail("the sweeps hold " + std::to_string(nRays) + " rays, rdc_ray_count " +
                    std::to_string(h.m_iMaxRay));
    }
    struct SweepFloat {
        const char* key;
        float STD_SWEEP_HDR::*member;
    };
    static constexpr SweepFloat kSweepFloats[] = {
        {"rdc_sweep_nyquist_velocity", &STD_SWEEP_HDR::m_fNyquistVelocity},
        {"rdc_sweep_radar_constant", &STD_SWEEP_HDR::m_fRadarConstant},
        {"rdc_sweep_noise_power", &STD_SWEEP_HDR::m_fNoisePower},
        {"rdc_sweep_receiver_gain", &STD_SWEEP_HDR::m_fReceiverGain},
        {"rdc_sweep_peak_power", &STD_SWEEP_HDR::m_fPeakPower},
        {"rdc_sweep_antenna_gain", &STD_SWEEP_HDR::m_fAntennaGain},
        {"rdc_sweep_pulse_duration", &STD_SWEEP_HDR::m_fPulseDuration},
    };
    for (const SweepFloat& f : kSweepFloats) {
        if (!keys.array(f.key, nSweep, &doubles)) {
            return false;
        }
        for (std::size_t s = 0; s < nSweep; ++s) {
            h.m_pSweepHdr[s].*f.member = static_cast<float>(doubles[s]);
        }
    }
    if (!keys.array("rdc_sweep_velocity_flag", nSweep, &longs)) {
        return false;
    }
    for (std::size_t s = 0; s < nSweep; ++s) {
        const char pair[2] = {static_cast<char>((longs[s] >> 8) & 0xff),
                              static_cast<char>(longs[s] & 0xff)};
        copyFixedText(h.m_pSweepHdr[s].m_szVelocityFlag, sizeof(h.m_pSweepHdr[s].m_szVelocityFlag),
                      pair, 2);
    }
    const struct {
        const char* key;
        double* out;
    } rayDoubles[] = {{"rdc_ray_time", h.m_pRayTime},
                      {"rdc_ray_azimuth", h.m_pRayAzimuth},
                      {"rdc_ray_elevation", h.m_pRayElevation},
                      {"rdc_ray_fixed_angle", h.m_pRayFixedAngle}};
    for (const auto& a : rayDoubles) {
        if (!keys.array(a.key, nRay, &doubles)) {
            return false;
        }
        std::copy(doubles.begin(), doubles.end(), a.out);
    }
    const struct {
        const char* key;
        long* out;
    } rayLongs[] = {{"rdc_ray_start_range", h.m_pRayStartRange},
                    {"rdc_ray_bin_spacing", h.m_pRayBinSpacing},
                    {"rdc_ray_sample_size", h.m_pRaySampleSize}};
    for (const auto& a : rayLongs) {
        if (!keys.array(a.key, nRay, &longs)) {
            return false;
        }
        std::copy(longs.begin(), longs.end(), a.out);
    }
    return true;
}

// Room for decoded values, reused from message to message. Mapped rather than malloc'd:
// the decoding child fills every malloc'd block with a pattern, and tens of MB of values
// are overwritten at once anyway. In huge pages where the kernel offers them: a fresh
// small page costs a fault and a clearing each, tens of thousands of them for a volume.
class ValueBuffer {
  public:
    ValueBuffer() = default;
    ValueBuffer(const ValueBuffer&) = delete;
    ValueBuffer& operator=(const ValueBuffer&) = delete;
    ~ValueBuffer() { release(); }

    double* reserve(std::size_t nValues) {
        if (nValues > n_) {
            release();
            const std::size_t nBytes = nValues * sizeof(double);
            void* p =
                mmap(nullptr, nBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) {
                madvise(p, nBytes, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
                p_ = static_cast<double*>(p);
                n_ = nValues;
            }
        }
        return p_;
    }

  private:
    void release() {
        if (p_ != nullptr) {
            munmap(p_, n_ * sizeof(double));
        }
        p_ = nullptr;
        n_ = 0;
    }

    double* p_ = nullptr;
    std::size_t n_ = 0;
};

bool readMoment(const MessageKeys& keys, codes_handle* h, GRIB_RADAR* pGrib, int k,
                ValueBuffer* pValues) {
    GRIB_VOLUME* pVolume = pGrib->m_ppVolume[k];
    const std::size_t nRay = static_cast<std::size_t>(pGrib->m_hdr.m_iMaxRay);
    if (!keys.text("rdc_field_name", pVolume->m_szName)) {
        return false;
    }
    std::vector<long> longs;
    if (!keys.array("rdc_field_slot", nRay, &longs)) {
        return false;
    }
    for (std::size_t g = 0; g < nRay; ++g) {
        pVolume->m_pFieldSlot[g] = static_cast<unsigned char>(std::clamp<long>(longs[g], 0, 255));
    }
    const struct {
        const char* key;
        long* out;
    } rayLongs[] = {{"rdc_bin_number", pVolume->m_pBinNumber},
                    {"rdc_field_scale_factor", pVolume->m_pScaleFactor},
                    {"rdc_field_start_range", pVolume->m_pStartRange},
                    {"rdc_field_bin_spacing", pVolume->m_pBinSpacing}};
    for (const auto& a : rayLongs) {
        if (!keys.array(a.key, nRay, &longs)) {
            return false;
        }
        std::copy(longs.begin(), longs.end(), a.out);
    }
    for (std::size_t g = 0; g < nRay; ++g) {
        pGrib->m_hdr.m_pMaxBin[g] = std::max(pGrib->m_hdr.m_pMaxBin[g], pVolume->m_pBinNumber[g]);
    }
    const std::size_t nValues = nRay * static_cast<std::size_t>(pVolume->m_iMaxBin);
    std::size_t size = 0;
    if (ec().get_size(h, "values", &size) != CODES_SUCCESS || size != nValues) {
        return fail("message " + std::to_string(k + 1) + " holds " + std::to_string(size) +
                    " values, not " + std::to_string(nRay) + " rays x " +
                    std::to_string(pVolume->m_iMaxBin) + " bins");
    }
    double* pIn = pValues->reserve(nValues);
    if (pIn == nullptr) {
        return fail("calloc fail");
    }
    const int err = ec().get_double_array(h, "values", pIn, &size);
    if (err != CODES_SUCCESS || size != nValues) {
        return fail("message " + std::to_string(k + 1) + ": cannot decode its values (" +
                    ec().get_error_message(err) + ")");
    }
    const short noData = static_cast<short>(pGrib->m_hdr.m_iNoDataValue);
    storeValues(pIn, nValues, noData, pVolume->m_pData);
    return true;
}

// A file's content: a plain file mapped as it is, a gzip-compressed one inflated.
class Content {
  public:
    Content() = default;
    Content(const Content&) = delete;
    Content& operator=(const Content&) = delete;
    ~Content() {
        if (mapped_ != nullptr) {
            munmap(mapped_, size_);
        }
    }

    bool read(const char* szFile) {
        const int fd = open(szFile, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return fail("cannot open " + std::string(szFile) + " (" + std::strerror(errno) + ")");
        }
        struct stat st {};
        unsigned char magic[2] = {};
        const bool bPlain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
                            pread(fd, magic, 2, 0) == 2 && !(magic[0] == 0x1f && magic[1] == 0x8b);
        if (bPlain) {
            void* p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ,
                           MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (p != MAP_FAILED) {
                close(fd);
                mapped_ = p;
                size_ = static_cast<std::size_t>(st.st_size);
                return true;
            }
        }
        close(fd);
        return inflate(szFile, st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
    }

    const unsigned char* bytes() const {
        return mapped_ != nullptr ? static_cast<const unsigned char*>(mapped_) : inflated_.data();
    }
    std::size_t size() const { return mapped_ != nullptr ? size_ : inflated_.size(); }

  private:
    bool inflate(const char* szFile, std::size_t nHint) {
        gzFile gz = gzopen(szFile, "rb");
        if (gz == nullptr) {
            return fail("cannot open " + std::string(szFile));
        }
        gzbuffer(gz, 1 << 20);
        inflated_.reserve(std::max<std::size_t>(nHint * 2, 1 << 20));
        constexpr std::size_t kChunk = 4u << 20;
        for (;;) {
            const std::size_t at = inflated_.size();
            inflated_.resize(at + kChunk);
            const int n = gzread(gz, inflated_.data() + at, static_cast<unsigned>(kChunk));
            if (n < 0) {
                int iErr = Z_OK;
                const std::string why = gzerror(gz, &iErr);
                gzclose(gz);
                return fail("cannot read " + std::string(szFile) + " (" + why + ")");
            }
            inflated_.resize(at + static_cast<std::size_t>(n));
            if (n == 0) {
                break;
            }
        }
        gzclose(gz);
        return true;
    }

    void* mapped_ = nullptr;
    std::size_t size_ = 0;
    std::vector<unsigned char> inflated_;
};

// The child hands the volume over through shared memory the caller made before the fork
// (a pipe would copy a KLIX-sized volume four times); the pipe carries only its size.
class SharedOutput : public IsolatedOutput {
  public:
    SharedOutput(unsigned char* p, std::size_t n) : p_(p), left_(n) {}
    bool write(const void* pBytes, std::size_t nBytes) override {
        if (nBytes > left_) {
            return false;
        }
        if (pBytes != p_) {  // rows decoded in place are there already
            std::memcpy(p_, pBytes, nBytes);
        }
        p_ += nBytes;
        left_ -= nBytes;
        return true;
    }
    std::size_t left() const { return left_; }

  private:
    unsigned char* p_;
    std::size_t left_;
};

IsolatedVerdict decodeInChild(const char* szFile, int fdShared, IsolatedOutput& output) {
    Content content;
    if (!content.read(szFile)) {
        return IsolatedVerdict::kRefused;
    }
    // The values are decoded straight into the shared memory, where the caller reads them.
    unsigned char* pShared = nullptr;
    std::size_t nShared = 0;
    std::size_t nHandOver = 0;
    bool bNoRoom = false;
    const GribHandOverRoom room = [&](const GribHandOverLayout& layout) -> unsigned char* {
        void* p = MAP_FAILED;
        if (ftruncate(fdShared, static_cast<off_t>(layout.nBytes)) == 0) {
            p = mmap(nullptr, layout.nBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                     fdShared, 0);
        }
        if (p == MAP_FAILED) {
            bNoRoom = true;
            return nullptr;
        }
        pShared = static_cast<unsigned char*>(p);
        nShared = layout.nBytes;
        nHandOver = layout.nBytes;
        return pShared;
    };
    // Not released: the child ends right after, and its memory with it.
    GRIB_RADAR* pGrib = decodeGribRadar(content.bytes(), content.size(), &room);
    if (pGrib == nullptr) {
        return bNoRoom ? IsolatedVerdict::kOutOfMemory : IsolatedVerdict::kRefused;
    }
    SharedOutput shared(pShared, nHandOver);
    const bool bWritten = writeGribRadarBytes(pGrib, shared) && shared.left() == 0;
    munmap(pShared, nShared);
    const std::uint64_t size = nHandOver;
    return bWritten && output.write(&size, sizeof(size)) ? IsolatedVerdict::kDecoded
                                                         : IsolatedVerdict::kRefused;
}

// The volume the child left in the shared memory, checked as any hand-over.
GRIB_RADAR* takeSharedVolume(int fdShared, const std::vector<unsigned char>& reply,
                             std::string* pWhy) {
    std::uint64_t size = 0;
    struct stat st {};
    if (reply.size() != sizeof(size)) {
        *pWhy = "no size";
        return nullptr;
    }
    std::memcpy(&size, reply.data(), sizeof(size));
    if (fstat(fdShared, &st) != 0 || size == 0 || size > static_cast<std::uint64_t>(st.st_size)) {
        *pWhy = "the size does not match the shared memory";
        return nullptr;
    }
    void* p = mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fdShared, 0);
    if (p == MAP_FAILED) {
        *pWhy = std::string("cannot map the shared memory: ") + std::strerror(errno);
        return nullptr;
    }
    GRIB_RADAR* pGrib = readGribRadarBytes(static_cast<const unsigned char*>(p), size, pWhy);
    munmap(p, size);
    return pGrib;
}

// The shared memory of the last load, kept for the next: its pages are then already
// there, where fresh shared pages cost the child a fault and a clearing each (tens of
// thousands for a volume). Concurrent loads each make their own; a large one is emptied
// before it is kept.
class SharedMemoryCache {
  public:
    static int take() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (fd_ >= 0) {
                return std::exchange(fd_, -1);
            }
        }
        return memfd_create("grib_volume", MFD_CLOEXEC);
    }

    static void give(int fd) {
        constexpr off_t kLargestKept = off_t{256} << 20;
        struct stat st {};
        if (fstat(fd, &st) != 0 || (st.st_size > kLargestKept && ftruncate(fd, 0) != 0)) {
            close(fd);
            return;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0) {
            fd_ = fd;
        } else {
            close(fd);
        }
    }

  private:
    static inline std::mutex mutex_;
    static inline int fd_ = -1;
};

// ecCodes reads and parses its definition files when a process first meets a kind of
// message. Done once here, before the first child is forked, the children inherit the
// parsed definitions instead of each parsing them anew (most of a load's time otherwise).
void parseDefinitionsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A one-bin volume message, decoded as a file's would be: every definition file
        // and code table a load needs is then parsed.
        Handle h(ec().grib_handle_new_from_samples(nullptr, "GRIB2"));
        const double zero = 0;
        const long one = 1;
        const void* pMessage = nullptr;
        std::size_t nMessage = 0;
        if (!h || ec().set_long(h.get(), "centre", GRIB_RADAR_CENTRE) != 0 ||
            ec().set_long(h.get(), "grib2LocalSectionPresent", 1) != 0 ||
            ec().set_long(h.get(), "grib2LocalSectionNumber", GRIB_LOCAL_VOLUME) != 0 ||
            ec().set_long_array(h.get(), "rdc_ray_number", &one, 1) != 0 ||
            ec().set_long(h.get(), "gridDefinitionTemplateNumber", 120) != 0 ||
            ec().set_long(h.get(), "numberOfDataBinsAlongRadials", 1) != 0 ||
            ec().set_long(h.get(), "numberOfRadials", 1) != 0 ||
            ec().set_long(h.get(), "parameterCategory", 15) != 0 ||
            ec().set_long(h.get(), "bitsPerValue", 16) != 0 ||
            ec().set_double_array(h.get(), "values", &zero, 1) != 0 ||
            ec().get_message(h.get(), &pMessage, &nMessage) != 0) {
            return;  // only slower: each child parses what it needs
        }
        GRIB_RADAR* pWarm = decodeGribRadar(static_cast<const unsigned char*>(pMessage), nMessage);
        fnFreeGribRadar(pWarm);
    });
}

}  // namespace

GribMessageKind gribMessageKind(const unsigned char* p, std::size_t n, std::string* pWhy) {
    if (n < kSection0Bytes || std::memcmp(p, "GRIB", 4) != 0) {
        *pWhy = "not a GRIB message";
        return n < kSection0Bytes ? GribMessageKind::kCut : GribMessageKind::kForeign;
    }
    if (p[7] != 2) {
        *pWhy = "GRIB edition " + std::to_string(p[7]) + ", not 2";
        return GribMessageKind::kForeign;
    }
    if (n < kSection0Bytes + 5 + 2) {
        *pWhy = "a GRIB message cut short";
        return GribMessageKind::kCut;
    }
    const std::uint64_t nSection1 = bigEndian(p + kSection0Bytes, 4);
    const unsigned centre = static_cast<unsigned>(bigEndian(p + kSection0Bytes + 5, 2));
    const std::string from = "GRIB edition 2 from centre " + std::to_string(centre);
    if (p[kSection0Bytes + 4] != 1 || nSection1 < 21 || nSection1 > n) {
        *pWhy = nSection1 > n ? "a GRIB message cut short" : from + " with a damaged section 1";
        return nSection1 > n ? GribMessageKind::kCut : GribMessageKind::kForeign;
    }
    if (centre != GRIB_RADAR_CENTRE) {
        *pWhy = from + ", not this system's radar messages (centre " +
                std::to_string(GRIB_RADAR_CENTRE) + ")";
        return GribMessageKind::kForeign;
    }
    const std::size_t at = kSection0Bytes + static_cast<std::size_t>(nSection1);
    if (at + 11 > n) {
        *pWhy = "a GRIB message cut short";
        return GribMessageKind::kCut;
    }
    const std::uint64_t nSection2 = bigEndian(p + at, 4);
    const unsigned local = static_cast<unsigned>(bigEndian(p + at + 5, 2));
    if (p[at + 4] != 2 || nSection2 < 7) {
        *pWhy = from + " without a local section";
        return GribMessageKind::kForeign;
    }
    if (local == GRIB_LOCAL_VOLUME && nSection2 >= 11 &&
        std::memcmp(p + at + 7, kVolumeSignature, sizeof(kVolumeSignature)) == 0) {
        return GribMessageKind::kRadarVolume;
    }
    if (local == GRIB_LOCAL_PRODUCT) {
        *pWhy = "a GRIB product dataset, not a radar volume";
        return GribMessageKind::kRadarProduct;
    }
    *pWhy = from + " with local section " + std::to_string(local) +
            ", not this system's radar volume keys";
    return GribMessageKind::kForeign;
}

bool splitGribMessages(const unsigned char* pBytes, std::size_t nBytes,
                       std::vector<GribMessageSpan>* pSpans, std::string* pWhy) {
    pSpans->clear();
    std::size_t at = 0;
    while (at < nBytes) {
        const std::size_t left = nBytes - at;
        const std::string which = "message " + std::to_string(pSpans->size() + 1);
        const bool bMagic = left >= 4 && std::memcmp(pBytes + at, "GRIB", 4) == 0;
        if (!bMagic && !pSpans->empty()) {
            *pWhy = std::to_string(left) + " bytes after message " +
                    std::to_string(pSpans->size()) + " are not a GRIB message";
            return false;
        }
        if (!bMagic || left < kSection0Bytes) {
            *pWhy = bMagic ? which + " is cut short" : "not a GRIB message";
            return false;
        }
        if (pBytes[at + 7] != 2) {
            *pWhy = which + " is GRIB edition " + std::to_string(pBytes[at + 7]) + ", not 2";
            return false;
        }
        const std::uint64_t length = bigEndian(pBytes + at + 8, 8);
        if (length < kSection0Bytes + 4 || length > left) {
            *pWhy = which + " declares " + std::to_string(length) + " bytes, " +
                    std::to_string(left) + " are left: the file is cut short or damaged";
            return false;
        }
        if (std::memcmp(pBytes + at + length - 4, "7777", 4) != 0) {
            *pWhy = which + " does not end with 7777: the file is damaged";
            return false;
        }
        pSpans->push_back({at, static_cast<std::size_t>(length)});
        at += static_cast<std::size_t>(length);
    }
    if (pSpans->empty()) {
        *pWhy = "no GRIB message";
        return false;
    }
    return true;
}

GRIB_RADAR* decodeGribRadar(const unsigned char* pBytes, std::size_t nBytes,
                            const GribHandOverRoom* pRoom) {
    std::vector<GribMessageSpan> spans;
    std::string why;
    if (!splitGribMessages(pBytes, nBytes, &spans, &why)) {
        fail(why);
        return nullptr;
    }
    for (std::size_t k = 0; k < spans.size(); ++k) {
        if (gribMessageKind(pBytes + spans[k].offset, spans[k].length, &why) !=
            GribMessageKind::kRadarVolume) {
            fail("message " + std::to_string(k + 1) + " is " + why);
            return nullptr;
        }
    }
    std::vector<Handle> handles;
    Shape shape;
    std::vector<int> bins;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        Handle h(ec().handle_new_from_message(nullptr, pBytes + spans[k].offset, spans[k].length));
        if (!h) {
            fail("message " + std::to_string(k + 1) + " cannot be decoded");
            return nullptr;
        }
        const MessageKeys keys(h.get(), static_cast<int>(k));
        Shape own;
        int nBin = 0;
        int index = 0;
        if (!readShape(keys, &own, &nBin, &index)) {
            if (k == 0) {
                rdrError(kLoad, "fnInitGribRadar fail");
            }
            return nullptr;
        }
        if (k == 0) {
            shape = own;
        } else if (own.nSweep != shape.nSweep || own.nRay != shape.nRay ||
                   own.nField != shape.nField) {
            fail("message " + std::to_string(k + 1) + " describes another volume's shape");
            return nullptr;
        }
        if (k >= static_cast<std::size_t>(shape.nField)) {
            fail("volume count error (" + std::to_string(spans.size()) + " messages, " +
                 std::to_string(shape.nField) + " moments)");
            return nullptr;
        }
        if (index != static_cast<int>(k)) {
            fail("message " + std::to_string(k + 1) + " holds moment " + std::to_string(index + 1) +
                 ": the messages are out of order");
            return nullptr;
        }
        if (static_cast<long>(shape.nRay) * nBin > GRIB_MAX_VALUES) {
            fail("message " + std::to_string(k + 1) + ": " + std::to_string(shape.nRay) +
                 " rays x " + std::to_string(nBin) + " bins exceed the " +
                 std::to_string(GRIB_MAX_VALUES) + " values a moment may hold");
            return nullptr;
        }
        bins.push_back(nBin);
        handles.push_back(std::move(h));
    }
    if (static_cast<int>(handles.size()) != shape.nField) {
        fail("Invalid pVolume (" + std::to_string(shape.nField) + " moments, " +
             std::to_string(handles.size()) + " messages)");
        return nullptr;
    }
    if (shape.nSweep > shape.nRay) {
        fail("rdc_sweep_count " + std::to_string(shape.nSweep) + " exceeds rdc_ray_count " +
             std::to_string(shape.nRay));
        return nullptr;
    }
    // Every value is written below: no fill first.
    std::vector<short*> rows;
    if (pRoom != nullptr) {
        GribHandOverLayout layout;
        unsigned char* pBase = nullptr;
        if (gribHandOverLayout(shape.nSweep, shape.nRay, shape.nField, bins.data(), &layout)) {
            pBase = (*pRoom)(layout);
        }
        if (pBase == nullptr) {
            rdrError(kLoad, "calloc fail");
            return nullptr;
        }
        for (std::size_t k = 0; k < handles.size(); ++k) {
            rows.push_back(reinterpret_cast<short*>(pBase + layout.dataOffsets[k]));
        }
    }
    GRIB_RADAR* pGrib = newGribRadar(shape.nSweep, shape.nRay, shape.nField, bins.data(), true,
                                     rows.empty() ? nullptr : rows.data());
    if (pGrib == nullptr) {
        rdrError(kLoad, "calloc fail");
        return nullptr;
    }
    const MessageKeys first(handles[0].get(), 0);
    bool bOk = readHeader(first, &pGrib->m_hdr) && readSweepsAndRays(first, pGrib);
    ValueBuffer values;
    for (int k = 0; bOk && k < shape.nField; ++k) {
        bOk = readMoment(MessageKeys(handles[k].get(), k), handles[k].get(), pGrib, k, &values);
    }
    if (!bOk) {
        for (int k = 0; !rows.empty() && k < shape.nField; ++k) {
            pGrib->m_ppVolume[k]->m_pData = nullptr;  // the room's, not the volume's
        }
        fnFreeGribRadar(pGrib);
        return nullptr;
    }
    return pGrib;
}

IsolationLimits gribIsolationLimits() {
    return g_limits;
}

void setGribIsolationLimits(const IsolationLimits& limits) {
    g_limits = limits;
}

GRIB_RADAR* fnLoadGribRadar(char* szFile) {
    if (szFile == nullptr) {
        return nullptr;
    }
    std::string why;
    if (eccodesLibrary(&why) == nullptr) {
        rdrError(kLoad, why.c_str());
        return nullptr;
    }
    parseDefinitionsOnce();
    const int fdShared = SharedMemoryCache::take();
    if (fdShared < 0) {
        rdrError(kLoad, (std::string("memfd_create fail (") + std::strerror(errno) + ")").c_str());
        return nullptr;
    }
    const IsolatedResult result = runIsolatedDecode(
        [szFile, fdShared](IsolatedOutput& output) {
            return decodeInChild(szFile, fdShared, output);
        },
        g_limits);
    switch (result.outcome) {
        case IsolatedResult::kDecoded: {
            GRIB_RADAR* pGrib = takeSharedVolume(fdShared, result.bytes, &why);
            SharedMemoryCache::give(fdShared);
            if (pGrib == nullptr) {
                rdrError(kLoad, ("the GRIB library failed on this file (the volume came back "
                                 "damaged: " +
                                 why + ")")
                                    .c_str());
            }
            return pGrib;
        }
        case IsolatedResult::kRefused:
            SharedMemoryCache::give(fdShared);
            return nullptr;  // the child printed the reason
        case IsolatedResult::kFailed:
            SharedMemoryCache::give(fdShared);
            rdrError(kLoad,
                     ("the GRIB library failed on this file (" + result.failure + ")").c_str());
            return nullptr;
        case IsolatedResult::kNotRun:
            SharedMemoryCache::give(fdShared);
            break;
    }
    rdrError(kLoad,
             ("cannot read the GRIB file in a child process (" + result.failure + ")").c_str());
    return nullptr;
}
