// UF loader: framing detection, the record loop and the UF_RADAR tree.
//
// The file is read (or its gzip stream inflated) in large chunks into one buffer and every
// record is parsed in place: its bins are copied only once, byte-swapped into their buffer.
#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "internal/uf_radar_tree.h"
#include "internal/uf_volume_input_record.h"
#include "internal/volume_formats_table.h"
#include "uf_radar.h"

namespace {

constexpr const char* kLoad = "fnLoadUf";

void loadError(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
void loadError(const char* szFormat, ...) {
    char szMessage[512];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(szMessage, sizeof(szMessage), szFormat, args);
    va_end(args);
    rdrError(kLoad, szMessage);
}

unsigned readBe16(const unsigned char* p) {
    return (p[0] << 8) | p[1];
}
unsigned long readBe32(const unsigned char* p) {
    return (static_cast<unsigned long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Where the file's bytes come from: plain files are read as they are, gzip streams are
// inflated with ISA-L, and zlib reads whatever ISA-L refuses (see fnLoadUf).
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to n bytes into p: how many, 0 at the end, -1 on failure (reported by the source
    // unless refused() says the whole load should be redone through zlib).
    virtual long read(unsigned char* p, std::size_t n) = 0;
    virtual bool refused() const { return false; }
};

class PlainSource final : public ByteSource {
  public:
    explicit PlainSource(int fd) : m_fd(fd) {}
    long read(unsigned char* p, std::size_t n) override {
        for (;;) {
            const ssize_t iRead = ::read(m_fd, p, n);
            if (iRead >= 0) {
                return static_cast<long>(iRead);
            }
            if (errno != EINTR) {
                loadError("read fail: %s", std::strerror(errno));
                return -1;
            }
        }
    }

  private:
    int m_fd;
};

// One or more concatenated gzip members. Anything short of a clean end of the last member
// (damage, a cut-off stream, bytes after it that are no member) is refused, so that zlib,
// which has always read these files, decides what they hold and says what is wrong.
class IsalSource final : public ByteSource {
  public:
    static constexpr std::size_t kInput = 1 << 18;

    explicit IsalSource(int fd) : m_fd(fd), m_in(kInput) {
        isal_inflate_init(&m_state);
        m_state.crc_flag = ISAL_GZIP;
    }
    long read(unsigned char* p, std::size_t n) override {
        if (m_bRefused) {
            return -1;
        }
        m_state.next_out = p;
        m_state.avail_out = static_cast<uint32_t>(std::min<std::size_t>(n, 1u << 30));
        const uint32_t nOut = m_state.avail_out;
        while (m_state.avail_out == nOut && !m_bDone) {
            if (m_state.block_state == ISAL_BLOCK_FINISH) {
                if (!nextMember()) {
                    return refuse();
                }
                continue;
            }
            if (m_state.avail_in == 0 && !fill()) {
                return refuse();
            }
            if (isal_inflate(&m_state) < 0) {
                return refuse();
            }
        }
        return static_cast<long>(nOut - m_state.avail_out);
    }
    bool refused() const override { return m_bRefused; }

  private:
    // More compressed input; false at the end of the file or on a read error.
    bool fill() {
        ssize_t iRead = 0;
        do {
            iRead = ::read(m_fd, m_in.data(), m_in.size());
        } while (iRead < 0 && errno == EINTR);
        if (iRead <= 0) {
            m_bReadFailed = iRead < 0;
            return false;
        }
        m_state.next_in = m_in.data();
        m_state.avail_in = static_cast<uint32_t>(iRead);
        return true;
    }
    // After a member: the next one, or the clean end of the file (false for anything else).
    bool nextMember() {
        if (m_state.avail_in == 0 && !fill()) {
            m_bDone = !m_bReadFailed;
            return m_bDone;
        }
        if (m_state.next_in[0] != 0x1f) {
            return false;
        }
        uint8_t* pNext = m_state.next_in;
        const uint32_t nLeft = m_state.avail_in;
        isal_inflate_reset(&m_state);
        m_state.crc_flag = ISAL_GZIP;
        m_state.next_in = pNext;
        m_state.avail_in = nLeft;
        return true;
    }
    long refuse() {
        m_bRefused = true;
        return -1;
    }

    int m_fd;
    std::vector<unsigned char> m_in;
    inflate_state m_state{};
    bool m_bReadFailed = false;
    bool m_bDone = false;
    bool m_bRefused = false;
};

struct GzCloser {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

class ZlibSource final : public ByteSource {
  public:
    explicit ZlibSource(gzFile file) : m_file(file) {}
    long read(unsigned char* p, std::size_t n) override {
        const int iRead = gzread(m_file.get(), p, static_cast<unsigned>(n));
        if (iRead < 0) {
            int iErr = Z_OK;
            loadError("gzread fail: %s", gzerror(m_file.get(), &iErr));
        }
        return iRead;
    }

  private:
    std::unique_ptr<gzFile_s, GzCloser> m_file;
};

// The file's bytes, read in big chunks from a source. The buffer starts small and doubles
// while whole chunks keep coming, so a small file costs little and a large one is read a
// megabyte at a time.
class ChunkedInput {
  public:
    static constexpr std::size_t kFirstCapacity = 1 << 16;
    static constexpr std::size_t kMaxCapacity = 1 << 20;
    static constexpr std::size_t kMaxRequest = 8 + 2 * 65535 + 4;  // largest framed record

    explicit ChunkedInput(ByteSource& source) : m_source(source), m_buffer(kFirstCapacity) {}

    // Makes up to n bytes (at most kMaxRequest) available at data(); returns how many
    // are (fewer only at the end of the file or on a read error, see failed()).
    std::size_t ensure(std::size_t n) {
        if (m_end - m_pos >= n || m_eof) {
            return std::min(n, m_end - m_pos);
        }
        if (m_pos + n > m_buffer.size()) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
            m_end -= m_pos;
            m_pos = 0;
            while (n > m_buffer.size() || (m_bFilledLast && m_buffer.size() < kMaxCapacity)) {
                m_buffer.resize(2 * m_buffer.size());
                m_bFilledLast = false;
            }
        }
        while (m_end - m_pos < n && !m_eof) {
            const std::size_t nWant = m_buffer.size() - m_end;
            const long iRead = m_source.read(m_buffer.data() + m_end, nWant);
            if (iRead < 0) {
                m_failed = true;
                m_eof = true;
            } else if (iRead == 0) {
                m_eof = true;
            }
            m_bFilledLast = iRead == static_cast<long>(nWant);
            m_end += iRead > 0 ? static_cast<std::size_t>(iRead) : 0;
        }
        return std::min(n, m_end - m_pos);
    }
    const unsigned char* data() const { return m_buffer.data() + m_pos; }
    void consume(std::size_t n) { m_pos += std::min(n, m_end - m_pos); }
    bool failed() const { return m_failed; }

  private:
    ByteSource& m_source;
    std::vector<unsigned char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    bool m_failed = false;
    bool m_bFilledLast = false;
};

// ---- one record --------------------------------------------------------------------

struct FieldPlan {
    UF_FIELD_INFO info;
    UF_FIELD_HDR hdr;
    UfWords data;
    int nBin;
};

// Checks every pointer and count of one record against its length, then stores it as
// the next ray of its sweep. Returns 0 (with the reason printed) when it is rejected.
// True when the moment is to be read: every one without a list.
bool momentWanted(const std::vector<std::string>* pMoments, const char* szName) {
    return pMoments == nullptr ||
           std::find(pMoments->begin(), pMoments->end(), szName) != pMoments->end();
}

int fnUfIntoMemory(UF_RADAR* pUf, const UfRecord& rec, long iRecord,
                   const std::vector<std::string>* pMoments) {
    UfWords w;
    if (!rec.window(1, UF_MANDATORY_WORDS, &w)) {
        loadError("record %ld: %d words, shorter than the %d-word mandatory header", iRecord,
                  rec.words(), UF_MANDATORY_WORDS);
        return 0;
    }
    UF_RAY ray{};
    fnMandatoryHeaderConvert(w, &ray.mh);
    const UF_MANDATORY_HDR& mh = ray.mh;

    if (mh.m_iSweepNo < 1 || mh.m_iSweepNo > UF_MAX_SWEEP) {
        loadError("record %ld: sweep number %d outside 1 to %d", iRecord, mh.m_iSweepNo,
                  UF_MAX_SWEEP);
        return 0;
    }
    if (mh.m_iOHpos != mh.m_iLHpos) {
        if (!rec.window(mh.m_iOHpos, UF_OPTIONAL_WORDS, &w)) {
            loadError("record %ld: optional header at word %d lies outside the record of %d words",
                      iRecord, mh.m_iOHpos, rec.words());
            return 0;
        }
        fnOptionalHeaderConvert(w, &ray.oh);
    }
    UfWords local;
    if (mh.m_iLHpos != mh.m_iDHpos &&
        (mh.m_iDHpos < mh.m_iLHpos ||
         !rec.window(mh.m_iLHpos, mh.m_iDHpos - mh.m_iLHpos, &local))) {
        loadError(
            "record %ld: local-use header (words %d to %d) lies outside the record of %d words",
            iRecord, mh.m_iLHpos, mh.m_iDHpos - 1, rec.words());
        return 0;
    }
    if (!rec.window(mh.m_iDHpos, UF_DATA_HDR_FIXED_WORDS, &w)) {
        loadError("record %ld: data header at word %d lies outside the record of %d words", iRecord,
                  mh.m_iDHpos, rec.words());
        return 0;
    }
    fnDataHeaderConvert(w, &ray.dh);
    const int nField = ray.dh.m_iMaxField;
    if (nField < 0 || nField > UF_MAX_FIELD) {
        loadError("record %ld: %d fields, outside 0 to %d", iRecord, nField, UF_MAX_FIELD);
        return 0;
    }
    if (!rec.window(mh.m_iDHpos, UF_DATA_HDR_FIXED_WORDS + 2 * nField, &w)) {
        loadError("record %ld: data header of %d fields runs past the record of %d words", iRecord,
                  nField, rec.words());
        return 0;
    }
    const UfWords dataHdr = w;

    FieldPlan plan[UF_MAX_FIELD];
    int binCount[UF_MAX_FIELD];
    for (int k = 0; k < nField; ++k) {
        FieldPlan& f = plan[k];
        fieldInfoConvert(dataHdr, k, &f.info);
        const int iPos = f.info.m_iFHpos;
        // Words after the common 19 are read only when the record holds them.
        const int nWanted = ufFieldHeaderWords(f.info.m_szFieldName);
        const int nAvail = rec.contains(iPos, 0) ? rec.words() - iPos + 1 : 0;
        if (!rec.window(iPos, std::min(nWanted, std::max(nAvail, UF_FIELD_HDR_WORDS)), &w)) {
            loadError(
                "record %ld: header of field %d (%s) at word %d lies outside the record of "
                "%d words",
                iRecord, k + 1, f.info.m_szFieldName, iPos, rec.words());
            return 0;
        }
        fnFieldHeaderConvert(w, f.info.m_szFieldName, &f.hdr);
        f.nBin = f.hdr.m_iMaxBin;
        if (f.nBin < 0 || f.nBin > UF_MAX_BIN) {
            loadError("record %ld: field %d (%s) has %d bins, outside 0 to %d", iRecord, k + 1,
                      f.info.m_szFieldName, f.nBin, UF_MAX_BIN);
            return 0;
        }
        if (f.nBin > 0 && !rec.window(f.hdr.m_iDataPos, f.nBin, &f.data)) {
            loadError(
                "record %ld: bins of field %d (%s), words %d to %d, lie outside the record "
                "of %d words",
                iRecord, k + 1, f.info.m_szFieldName, f.hdr.m_iDataPos,
                f.hdr.m_iDataPos + f.nBin - 1, rec.words());
            return 0;
        }
        // The ray's first moment is always kept: its range and gating are read from it.
        binCount[k] = k == 0 || momentWanted(pMoments, f.info.m_szFieldName) ? f.nBin : -1;
    }

    if (!ufEnsureSweepSlots(pUf, mh.m_iSweepNo)) {
        return 0;
    }
    UF_SWEEP* pSweep = pUf->m_ppSweep[mh.m_iSweepNo - 1];
    if (pSweep->m_iCurRay >= UF_MAX_RAY) {
        loadError("record %ld: sweep %d has more than %d rays", iRecord, mh.m_iSweepNo, UF_MAX_RAY);
        return 0;
    }
    UF_RAY* pRay = ufAllocRay(nField, binCount, pUf->m_pBinBlocks);
    if (pRay == nullptr) {
        return 0;
    }
    pRay->mh = ray.mh;
    pRay->oh = ray.oh;
    pRay->dh.m_iMaxField = ray.dh.m_iMaxField;
    pRay->dh.m_iMaxRecord = ray.dh.m_iMaxRecord;
    pRay->dh.m_iMaxFieldInRecord = ray.dh.m_iMaxFieldInRecord;
    pRay->m_iCurField = nField;
    fnLocalUseHeaderConvert(local, &pRay->lh);
    for (int k = 0; k < nField; ++k) {
        UF_FIELD* pField = pRay->m_ppField[k];
        pRay->dh.m_pfi[k] = plan[k].info;
        pField->fh = plan[k].hdr;
        pField->m_iCurBin = plan[k].nBin;
        if (pField->m_pData != nullptr) {
            plan[k].data.copyWords(1, plan[k].nBin, pField->m_pData);
        }
    }
    for (int k = 0; k < nField; ++k) {
        if (plan[k].nBin == 0 && pRay->m_ppField[k]->m_pData != nullptr) {
            pRay->m_ppField[k]->m_pData[0] = 0;  // the one placeholder value
        }
    }

    pSweep->m_ppRay[pSweep->m_iCurRay++] = pRay;
    pSweep->m_iMaxRay = pSweep->m_iCurRay;
    if (mh.m_iSweepNo == pUf->m_iCurSweep + 1) {
        pUf->m_iCurSweep = mh.m_iSweepNo;
    }
    return 1;
}

// ---- framings ----------------------------------------------------------------------

// Where one record sits in the stream: nSkip bytes of framing before it, nBytes of
// record, then the framing after it (nTrailer bytes, absent at the end of the file).
struct Frame {
    enum Status { kRecord, kEnd, kTruncated, kMalformed } status;
    std::size_t nSkip = 0;
    std::size_t nBytes = 0;
    std::size_t nTrailer = 0;
};

Frame nextFrame(ChunkedInput& in, int iType, bool bFourTrailer, long iRecord) {
    Frame f{Frame::kRecord};
    std::size_t nHead = 0;
    switch (iType) {
        case EN_UF_TYPE_ZERO:
            nHead = 4;  // "UF" and the length in words
            break;
        case EN_UF_TYPE_TWO:
            nHead = 2;  // byte count
            break;
        default:
            nHead = 8;  // 32-bit count, "UF", the length in words
            break;
    }
    const std::size_t nHave = in.ensure(nHead);
    if (nHave == 0) {
        f.status = Frame::kEnd;
        return f;
    }
    if (nHave < nHead) {
        f.status = Frame::kTruncated;
        return f;
    }
    const unsigned char* p = in.data();
    switch (iType) {
        case EN_UF_TYPE_ZERO:
            f.nBytes = 2 * static_cast<std::size_t>(readBe16(p + 2));
            break;
        case EN_UF_TYPE_TWO:
            f.nSkip = 2;
            f.nBytes = readBe16(p);
            f.nTrailer = 2;
            break;
        default:
            f.nSkip = 4;
            f.nBytes = 2 * static_cast<std::size_t>(readBe16(p + 6));
            f.nTrailer = bFourTrailer ? 4 : 0;
            break;
    }
    if (f.nBytes < 4) {
        loadError("record %ld: length of %zu bytes cannot hold a record", iRecord, f.nBytes);
        f.status = Frame::kMalformed;
        return f;
    }
    if (in.ensure(f.nSkip + f.nBytes + f.nTrailer) < f.nSkip + f.nBytes) {
        f.status = Frame::kTruncated;
    }
    return f;
}

// After the first 4-byte-framed record: does a 4-byte trailer follow each record?
// The next "UF" eight bytes on means trailer plus count; four bytes on, count only.
// Those two places are looked at first, since a count can itself spell "UF" (0x5546).
bool probeFourTrailer(ChunkedInput& in, unsigned long iFirstCount) {
    const std::size_t nHave = in.ensure(12);
    const unsigned char* p = in.data();
    auto ufAt = [p, nHave](std::size_t i) {
        return i + 1 < nHave && p[i] == 'U' && p[i + 1] == 'F';
    };
    if (ufAt(8)) {
        return true;
    }
    if (nHave >= 12 || ufAt(4)) {
        return false;
    }
    // A short tail: the trailer of a last record repeats its count (or is all there is).
    return nHave == 4 || (nHave >= 4 && readBe32(p) == iFirstCount);
}

UF_RADAR* readRecords(ChunkedInput& in, int iType, const std::vector<std::string>* pMoments) {
    UF_RADAR* pUf = fnInitUf();
    if (pUf == nullptr) {
        return nullptr;
    }
    pUf->m_pBinBlocks = binBlocksNew();  // without it, every buffer is malloc'd
    const unsigned long iFirstCount = readBe32(in.data());
    bool bFourTrailer = false;
    long iRecord = 0;
    for (;;) {
        const Frame f = nextFrame(in, iType, bFourTrailer, iRecord + 1);
        if (f.status == Frame::kEnd && !in.failed()) {
            break;
        }
        if (f.status == Frame::kTruncated && !in.failed()) {
            if (iRecord == 0) {
                loadError("the file ends inside its first record");
                fnFreeUfRadar(pUf);
                return nullptr;
            }
            loadError("the file ends inside record %ld; the %ld complete records are kept",
                      iRecord + 1, iRecord);
            std::snprintf(pUf->m_szLoadNote, sizeof(pUf->m_szLoadNote),
                          "the file ends inside record %ld; the %ld complete records are kept",
                          iRecord + 1, iRecord);
            break;
        }
        if (f.status != Frame::kRecord || in.failed()) {
            fnFreeUfRadar(pUf);
            return nullptr;
        }
        if (++iRecord > UF_MAX_RECORD) {
            loadError("more than %d records", UF_MAX_RECORD);
            fnFreeUfRadar(pUf);
            return nullptr;
        }
        const UfRecord rec(in.data() + f.nSkip, f.nBytes);
        if (!fnUfIntoMemory(pUf, rec, iRecord, pMoments)) {
            fnFreeUfRadar(pUf);
            return nullptr;
        }
        in.consume(f.nSkip + f.nBytes);
        if (iType == EN_UF_TYPE_FOUR && iRecord == 1) {
            bFourTrailer = probeFourTrailer(in, iFirstCount);
            if (in.failed()) {
                fnFreeUfRadar(pUf);
                return nullptr;
            }
            if (bFourTrailer) {
                in.consume(4);
            }
        } else {
            in.consume(f.nTrailer);  // a missing trailer after the last record is no loss
        }
    }
    return pUf;
}

}  // namespace

int ufFramingOfHead(const unsigned char* b, std::size_t nHead) {
    auto ufAt = [b, nHead](std::size_t i) {
        return i + 1 < nHead && b[i] == 'U' && b[i + 1] == 'F';
    };
    if (ufAt(0)) {
        return EN_UF_TYPE_ZERO;
    }
    // A 2-byte count of zero is no record; "UF" at 2 and 4 then means a 32-bit count
    // of 0x5546 bytes.
    if (ufAt(2) && !(ufAt(4) && b[0] == 0 && b[1] == 0)) {
        return EN_UF_TYPE_TWO;
    }
    if (ufAt(4)) {
        return EN_UF_TYPE_FOUR;
    }
    return EN_UF_TYPE_UNKNOWN;
}

namespace {

// Framing detection and the record loop over one source; null after a message.
UF_RADAR* loadFrom(ByteSource& source, const std::vector<std::string>* pMoments) {
    ChunkedInput in(source);
    UF_TYPE_HDR head{};
    if (in.ensure(sizeof(head.m_rgByte)) < sizeof(head.m_rgByte)) {
        if (!in.failed()) {
            rdrError(kLoad, "UF file type is EN_UF_TYPE_UNKNOWN");
        }
        return nullptr;
    }
    std::memcpy(head.m_rgByte, in.data(), sizeof(head.m_rgByte));
    const int iType = ufFramingOfHead(head.m_rgByte, sizeof(head.m_rgByte));
    if (iType == EN_UF_TYPE_UNKNOWN) {
        rdrError(kLoad, "UF file type is EN_UF_TYPE_UNKNOWN");
        return nullptr;
    }
    return readRecords(in, iType, pMoments);
}

bool startsWithGzipMagic(int fd) {
    unsigned char magic[2] = {};
    const bool bGzip =
        pread(fd, magic, sizeof(magic), 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    return bGzip;
}

}  // namespace

UF_RADAR* fnLoadUf(const char* pFile) {
    return fnLoadUfMoments(pFile, nullptr);
}

UF_RADAR* fnLoadUfMoments(const char* pFile, const std::vector<std::string>* pMoments) {
    if (pFile == nullptr) {
        rdrError(kLoad, "gzopen fail");
        return nullptr;
    }
    const int fd = open(pFile, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        rdrError(kLoad, "gzopen fail");
        return nullptr;
    }
    if (!startsWithGzipMagic(fd)) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        PlainSource plain(fd);
        UF_RADAR* pUf = loadFrom(plain, pMoments);
        close(fd);
        return pUf;
    }
    {
        IsalSource fast(fd);
        UF_RADAR* pUf = loadFrom(fast, pMoments);
        if (!fast.refused()) {
            close(fd);
            return pUf;
        }
        fnFreeUfRadar(pUf);
    }
    // zlib reads the stream ISA-L refused from its start (and reports what is wrong with it).
    std::unique_ptr<gzFile_s, GzCloser> file(lseek(fd, 0, SEEK_SET) == 0 ? gzdopen(fd, "rb")
                                                                         : nullptr);
    if (file == nullptr) {
        close(fd);
        rdrError(kLoad, "gzopen fail");
        return nullptr;
    }
    // zlib's own buffers: large for large files, small for the small ones.
    const auto nFile = static_cast<unsigned long>(std::max<off_t>(st.st_size, 0));
    gzbuffer(file.get(), static_cast<unsigned>(std::clamp(nFile, 8192ul, 256ul * 1024)));
    ZlibSource slow(file.release());
    return loadFrom(slow, pMoments);
}
