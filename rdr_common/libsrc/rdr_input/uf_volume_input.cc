// UF loader: framing detection, the record loop and the UF_RADAR tree.
//
// The file is read (or its gzip stream inflated) in large chunks and every record is parsed
// in place: its bins are copied only once, byte-swapped into their buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "internal/uf_radar_tree.h"
#include "internal/uf_volume_input_record.h"
#include "internal/uf_volume_input_stream.h"
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

Frame nextFrame(UfByteInput& in, int iType, bool bFourTrailer, long iRecord) {
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
bool probeFourTrailer(UfByteInput& in, unsigned long iFirstCount) {
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

UF_RADAR* readRecords(UfByteInput& in, int iType, const std::vector<std::string>* pMoments) {
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
UF_RADAR* loadFrom(UfByteInput& in, const std::vector<std::string>* pMoments) {
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

// Gzip streams this large are inflated in a second thread while the records already
// inflated are parsed; a smaller one inflates in a few milliseconds, less than the thread
// would save.
constexpr long kPipelinedFrom = 512L << 10;

// The gzip stream through ISA-L; *pRefused when it must be read again through zlib.
UF_RADAR* loadInflatedByIsal(int fd, bool bAhead, const std::vector<std::string>* pMoments,
                             bool* pRefused) {
    IsalSource source(fd);
    if (bAhead) {
        PipelinedInput in(source);
        if (in.start()) {
            UF_RADAR* pUf = loadFrom(in, pMoments);
            *pRefused = in.refused();
            return pUf;
        }
    }
    ChunkedInput in(source);
    UF_RADAR* pUf = loadFrom(in, pMoments);
    *pRefused = source.refused();
    return pUf;
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
    return ufLoadFile(pFile, pMoments, kPipelinedFrom);
}

UF_RADAR* ufLoadFile(const char* pFile, const std::vector<std::string>* pMoments, long nAheadFrom) {
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
        ChunkedInput in(plain);
        UF_RADAR* pUf = loadFrom(in, pMoments);
        close(fd);
        return pUf;
    }
    {
        bool bRefused = false;
        UF_RADAR* pUf = loadInflatedByIsal(fd, st.st_size >= nAheadFrom, pMoments, &bRefused);
        if (!bRefused) {
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
    ChunkedInput in(slow);
    return loadFrom(in, pMoments);
}
