// fnReadUfFile: the site engine's UF reader. The whole (decompressed) file is read first and
// every record is taken through a checked view, so that no count or word position of a
// record is used before it has been checked against what the record holds.
#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "owned_handle.h"

#include "site_volume_engine.h"

namespace {

// Word positions (1-based) of the mandatory header.
constexpr int kRecordLength = 2;
constexpr int kDataHeaderPos = 5;
constexpr int kSweepNumber = 10;
constexpr int kLatDeg = 19;
constexpr int kLonDeg = 22;
constexpr int kHeight = 25;
constexpr int kAzimuth = 33;
constexpr int kFixedAngle = 36;
constexpr int kDeletedData = 45;
constexpr int kMandatoryWords = 45;

// Word offsets (0-based) inside a field header.
constexpr int kFirstDataWord = 0;
constexpr int kScaleFactor = 1;
constexpr int kRangeFirstGateKm = 2;
constexpr int kAdjToCenterM = 3;
constexpr int kGateSpacingM = 4;
constexpr int kGateCount = 5;
constexpr int kHorizontalBeam = 7;
constexpr int kVerticalBeam = 8;
constexpr int kFieldHeaderWords = 19;
constexpr int kNyquistWord = 19;  // velocity fields only

// A decompressed file larger than this is not a site volume.
constexpr size_t kMaxFileBytes = size_t{1} << 30;
// The largest gap between records any framing leaves (length words and padding).
constexpr size_t kFramingSearch = 12;

using GzCloser = rdr::ReleaseWith<rdr::closeGz>;

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;

bool readWholeFile(const char* path, std::vector<unsigned char>& bytes) {
    std::unique_ptr<gzFile_s, GzCloser> f(gzopen(path, "rb"));
    if (f == nullptr) {
        return false;
    }
    gzbuffer(f.get(), 16u << 20);
    constexpr size_t kChunk = 1u << 20;
    for (;;) {
        const size_t used = bytes.size();
        if (used >= kMaxFileBytes) {
            return false;
        }
        bytes.resize(used + kChunk);
        const int n = gzread(f.get(), bytes.data() + used, kChunk);
        if (n < 0) {
            return false;
        }
        bytes.resize(used + static_cast<size_t>(n));
        if (n == 0) {
            int err = Z_OK;
            gzerror(f.get(), &err);
            return err == Z_OK || err == Z_BUF_ERROR;
        }
    }
}

// A checked view of one UF record of nWords big-endian 16-bit words.
class UfRecord {
  public:
    UfRecord(const unsigned char* bytes, int nWords) : bytes_(bytes), nWords_(nWords) {}
    int words() const { return nWords_; }
    bool has(int pos, int count = 1) const {
        return pos >= 1 && count >= 0 && static_cast<long>(pos) + count - 1 <= nWords_;
    }
    // Word at a 1-based position the caller has checked with has().
    int16_t word(int pos) const {
        const unsigned char* p = bytes_ + 2 * static_cast<size_t>(pos - 1);
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
    }
    bool name(int pos, char out[3]) const {
        if (!has(pos)) {
            return false;
        }
        const unsigned char* p = bytes_ + 2 * static_cast<size_t>(pos - 1);
        out[0] = static_cast<char>(p[0]);
        out[1] = static_cast<char>(p[1]);
        out[2] = '\0';
        return true;
    }

  private:
    const unsigned char* bytes_;
    int nWords_;
};

struct FieldEntry {
    char name[3];
    int headerPos;
};

// The data header: the fields of this record and their header positions. False for a
// position outside the record or more fields than a volume can name.
bool readFieldList(const UfRecord& rec, std::vector<FieldEntry>& fields) {
    fields.clear();
    const int pos = rec.word(kDataHeaderPos);
    if (!rec.has(pos, 3)) {
        return false;
    }
    const int count = rec.word(pos + 2);
    if (count < 0 || count > SITE_UF_MAX_FIELDS || !rec.has(pos + 3, 2 * count)) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        FieldEntry e{};
        rec.name(pos + 3 + 2 * i, e.name);
        e.headerPos = rec.word(pos + 4 + 2 * i);
        fields.push_back(e);
    }
    return true;
}

constexpr double kLn600 = 6.396929655216146;
constexpr double kLn2 = 0.6931471805599453;

// Specific differential phase is kept at the one-byte logarithmic resolution of the
// site products: each value goes through the code and back.
float quantiseKdp(float x) {
    if (x >= SITE_FIRST_MARKER) {
        return x;  // markers pass through unchanged
    }
    if (x == 0.0f) {
        return 0.0f;
    }
    const double a = x > 0.0f ? 129.0 + 126.0 * (std::log(x) + kLn2) / kLn600
                              : 127.0 - 126.0 * (std::log(-x) + kLn2) / kLn600;
    // Codes 0..3 are the markers and the code is one byte.
    const int code = std::clamp(static_cast<int>(std::trunc(a + 0.5 + 4.0)), 4, 255);
    const int c = code - 4;
    if (code == 132) {
        return 0.0f;
    }
    if (c < 128) {
        return static_cast<float>(-0.5 * std::pow(600.0, (127.0 - c) / 126.0));
    }
    return static_cast<float>(0.5 * std::pow(600.0, (c - 129.0) / 126.0));
}

float wrapAzimuth(double a) {
    double w = std::fmod(a, 360.0);
    if (w < 0.0) {
        w += 360.0;
    }
    if (w >= 360.0) {
        w = 0.0;
    }
    return static_cast<float>(w);
}

class VolumeFiller {
  public:
    VolumeFiller(ST_UF_DATA& uf, const char* field, float correction)
        : uf_(uf), correction_(correction) {
        std::memcpy(field_, field, 2);
        field_[2] = '\0';
    }

    // False when the record is malformed or the first record lacks the field.
    bool take(const UfRecord& rec) {
        if (!readFieldList(rec, fields_)) {
            return false;
        }
        if (first_) {
            first_ = false;
            uf_.m_nFieldCnt = static_cast<int>(fields_.size());
            for (size_t i = 0; i < fields_.size(); ++i) {
                std::memcpy(uf_.szField_Name[i], fields_[i].name, 3);
            }
            const bool present = std::any_of(fields_.begin(), fields_.end(), [&](const auto& f) {
                return std::strcmp(f.name, field_) == 0;
            });
            if (!present) {
                return false;
            }
        }
        lastHeader_ = rec;
        haveHeader_ = true;
        for (const FieldEntry& f : fields_) {
            if (std::strcmp(f.name, field_) == 0) {
                return storeRay(rec, f.headerPos);
            }
        }
        return true;
    }

    bool finish() {
        if (!haveHeader_ || storedRays_ == 0) {
            return false;
        }
        const UfRecord& h = lastHeader_;
        uf_.m_fSiteLat = static_cast<float>(h.word(kLatDeg) + h.word(kLatDeg + 1) / 60.0 +
                                            h.word(kLatDeg + 2) / 64.0 / 3600.0);
        uf_.m_fSiteLon = static_cast<float>(h.word(kLonDeg) + h.word(kLonDeg + 1) / 60.0 +
                                            h.word(kLonDeg + 2) / 64.0 / 3600.0);
        uf_.m_nHeight = h.word(kHeight);
        uf_.m_nSweeps = std::min(sweepIndex_ + 1, SITE_UF_MAX_SWEEPS);
        return true;
    }

  private:
    bool storeRay(const UfRecord& rec, int headerPos) {
        if (!rec.has(headerPos, kFieldHeaderWords)) {
            return false;
        }
        const int scale = rec.word(headerPos + kScaleFactor);
        const int nGates = rec.word(headerPos + kGateCount);
        const int dataPos = rec.word(headerPos + kFirstDataWord);
        const bool velocity = std::strcmp(field_, "VR") == 0;
        if (scale <= 0 || nGates < 0 || !rec.has(dataPos, nGates) ||
            (velocity && !rec.has(headerPos + kNyquistWord))) {
            return false;
        }
        // A new sweep starts whenever the sweep number changes; sweeps are numbered in the
        // order they are met, so a file numbering from 0, or skipping numbers, fills no gap.
        const int sweepNumber = rec.word(kSweepNumber);
        if (sweepIndex_ < 0 || sweepNumber != sweepNumber_) {
            ++sweepIndex_;
            sweepNumber_ = sweepNumber;
        }
        const int s = sweepIndex_;
        if (s >= SITE_UF_MAX_SWEEPS || uf_.m_rgnRays[s] >= SITE_UF_MAX_RAYS) {
            return true;
        }
        const int r = uf_.m_rgnRays[s]++;
        ++storedRays_;
        if (r == 0) {
            uf_.m_fUfElevation[s] = rec.word(kFixedAngle) / 64.0f;
        }
        if (s == 0 && r == 0) {
            uf_.m_fBeamWidth = rec.word(headerPos + kHorizontalBeam) / 64.0f;
            uf_.m_fV_BeamWidth = rec.word(headerPos + kVerticalBeam) / 64.0f;
        }
        if (velocity) {
            uf_.m_fNyqVel = static_cast<float>(rec.word(headerPos + kNyquistWord)) / scale;
        }
        uf_.m_AZIM[s][r] = wrapAzimuth(rec.word(kAzimuth) / 64.0 + correction_);
        uf_.m_nGateSize[s][r] = rec.word(headerPos + kGateSpacingM);
        uf_.m_nRangeBin[s][r] =
            rec.word(headerPos + kRangeFirstGateKm) * 1000 + rec.word(headerPos + kAdjToCenterM);
        const int stored = std::min(nGates, SITE_UF_MAX_BINS);
        uf_.m_nBins[s][r] = stored;
        const int deleted = rec.word(kDeletedData);
        const bool kdp = std::strcmp(field_, "KD") == 0;
        float* out = uf_.m_fData[s][r];
        for (int k = 0; k < stored; ++k) {
            const int v = rec.word(dataPos + k);
            float x = v == deleted ? SITE_DELETED_BIN : static_cast<float>(v) / scale;
            out[k] = kdp ? quantiseKdp(x) : x;
        }
        return true;
    }

    ST_UF_DATA& uf_;
    char field_[3];
    float correction_;
    bool first_ = true;
    std::vector<FieldEntry> fields_;
    UfRecord lastHeader_{nullptr, 0};
    bool haveHeader_ = false;
    int sweepIndex_ = -1;
    int sweepNumber_ = 0;
    long storedRays_ = 0;
};

bool startsRecord(const std::vector<unsigned char>& b, size_t at) {
    return at + 2 <= b.size() && b[at] == 'U' && b[at + 1] == 'F';
}

// Walks the records of the file. The framing is measured once: the first record starts at
// byte 0 or after a 4-byte length word, and the gap to the second record (length words
// and padding) is found by looking for its "UF" within the next 12 bytes.
bool walkRecords(const std::vector<unsigned char>& bytes, VolumeFiller& filler) {
    size_t at = 0;
    if (!startsRecord(bytes, 0)) {
        if (!startsRecord(bytes, 4)) {
            return false;
        }
        at = 4;
    }
    bool gapKnown = false;
    size_t gap = 0;
    for (;;) {
        if (bytes.size() - at < 2 * static_cast<size_t>(kMandatoryWords) ||
            !startsRecord(bytes, at)) {
            return false;
        }
        const UfRecord header(bytes.data() + at, kMandatoryWords);
        const int nWords = static_cast<uint16_t>(header.word(kRecordLength));
        if (nWords < kMandatoryWords || bytes.size() - at < 2 * static_cast<size_t>(nWords)) {
            return false;  // a record shorter than its header, or cut short
        }
        if (!filler.take(UfRecord(bytes.data() + at, nWords))) {
            return false;
        }
        at += 2 * static_cast<size_t>(nWords);
        if (!gapKnown) {
            gapKnown = true;
            size_t g = 0;
            while (g + 2 <= kFramingSearch && !startsRecord(bytes, at + g)) {
                ++g;
            }
            if (g + 2 > kFramingSearch) {
                // No second record: only trailing framing may follow.
                return bytes.size() - at < kFramingSearch;
            }
            gap = g;
        }
        // End of file where the next record would start (trailing framing words only).
        if (bytes.size() - at <= gap) {
            return true;
        }
        at += gap;
    }
}

// The 160 MB block on huge pages where the kernel allows it: touching it then takes about
// 80 page faults instead of 40,000, which is most of a request's time otherwise. Every
// member is zeroed except the bins, which the reader and markUnread write in full.
ST_UF_DATA* allocateVolume() {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t size = (sizeof(ST_UF_DATA) + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, size);
    if (block == nullptr) {
        return nullptr;
    }
    madvise(block, size, MADV_HUGEPAGE);  // advice only: without it the block still works
    auto* uf = static_cast<ST_UF_DATA*>(block);
    std::memset(uf, 0, offsetof(ST_UF_DATA, m_fData));
    char* afterBins = reinterpret_cast<char*>(&uf->m_fData) + sizeof(uf->m_fData);
    std::memset(afterBins, 0, reinterpret_cast<char*>(uf + 1) - afterBins);
    return uf;
}

// Everything the file did not fill reads -9999. Done once the file has been accepted, so
// that a rejected file costs no pass over the whole block.
void markUnread(ST_UF_DATA& uf) {
    for (int s = 0; s < SITE_UF_MAX_SWEEPS; ++s) {
        const int rays = s < uf.m_nSweeps ? uf.m_rgnRays[s] : 0;
        for (int r = 0; r < SITE_UF_MAX_RAYS; ++r) {
            const int bins = r < rays ? uf.m_nBins[s][r] : 0;
            std::fill(uf.m_fData[s][r] + bins, uf.m_fData[s][r] + SITE_UF_MAX_BINS, SITE_NO_DATA);
            if (r >= rays) {
                uf.m_AZIM[s][r] = SITE_NO_DATA;
            }
        }
    }
}

}  // namespace

ST_UF_DATA* fnReadUfFile(const char* szFilename, const char* szField, float fAzimuthCorrection) {
    if (szFilename == nullptr || szField == nullptr || std::strlen(szField) != 2 ||
        !std::isfinite(fAzimuthCorrection)) {
        return nullptr;
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(szFilename, bytes) || bytes.empty()) {
        return nullptr;
    }
    std::unique_ptr<ST_UF_DATA, FreeDeleter> uf(allocateVolume());
    if (uf == nullptr) {
        return nullptr;
    }
    VolumeFiller filler(*uf, szField, fAzimuthCorrection);
    if (!walkRecords(bytes, filler) || !filler.finish()) {
        return nullptr;
    }
    markUnread(*uf);
    return uf.release();
}
