// The UF file output: the encoder's records in the requested framing, plain or gzip, written
// through an atomic replacement of the target.
#include "uf_volume_output.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "internal/uf_volume_output_encoder.h"

namespace {

constexpr const char* kWrite = "fnWriteUf";

void reportError(const std::string& message) {
    rdrError(kWrite, message.c_str());
}

// "cannot write FILE (why)", the one message of every failure to put bytes on disk.
void reportWriteError(const char* pFile, const std::string& why) {
    reportError("cannot write " + std::string(pFile) + " (" + why + ")");
}

// Bytes of the record count before (and, in the trailing framings, after) each record.
std::size_t countBytes(int iFraming) {
    return iFraming == UF_FRAME_ZERO ? 0 : iFraming == UF_FRAME_TWO ? 2 : 4;
}

void putCount(unsigned char* p, std::size_t nBytes, std::size_t nCount) {
    for (std::size_t i = 0; i < nBytes; ++i) {
        p[i] = static_cast<unsigned char>(nCount >> (8 * (nBytes - 1 - i)));
    }
}

// Every ray of every sweep slot, in slot order, as framed records. False with a message.
bool writeRecords(const UF_RADAR* pUf, int iFraming, gzFile out, const char* pFile) {
    const std::size_t nCount = countBytes(iFraming);
    const bool bTrailer = iFraming == UF_FRAME_TWO || iFraming == UF_FRAME_FOUR;
    std::vector<unsigned char> framed;
    for (int s = 0; s < pUf->m_iMaxSweep; ++s) {
        const UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        for (int r = 0; r < pSweep->m_iCurRay; ++r) {
            framed.assign(nCount, 0);
            if (!encodeUfRecord(pSweep->m_ppRay[r], &framed)) {
                reportError("sweep slot " + std::to_string(s + 1) + " ray " +
                            std::to_string(r + 1) + " cannot be encoded");
                return false;
            }
            const std::size_t n = framed.size() - nCount;
            if (iFraming == UF_FRAME_TWO && n > 0xffff) {
                reportError("a record of " + std::to_string(n) +
                            " bytes exceeds the 2-byte framing");
                return false;
            }
            putCount(framed.data(), nCount, n);
            if (bTrailer) {
                framed.resize(framed.size() + nCount);
                putCount(framed.data() + nCount + n, nCount, n);
            }
            if (gzwrite(out, framed.data(), static_cast<unsigned>(framed.size())) !=
                static_cast<int>(framed.size())) {
                int iErr = Z_OK;
                reportWriteError(pFile, gzerror(out, &iErr));
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int fnWriteUf(UF_RADAR* pUf, const char* pFile, int iFraming, int bGzip) {
    if (pUf == nullptr || pFile == nullptr || !fnValidUf(pUf)) {
        rdrError(kWrite, "InValid UF");
        return 0;
    }
    if (iFraming < UF_FRAME_ZERO || iFraming > UF_FRAME_FOUR_NO_TRAILER) {
        reportError("unknown framing " + std::to_string(iFraming));
        return 0;
    }
    AtomicFile file;
    if (!file.open(pFile)) {
        reportError("cannot create " + std::string(pFile) + " (" + file.error() + ")");
        return 0;
    }
    // zlib closes the descriptor it is given: it gets a duplicate, and the file's own
    // descriptor stays for the sync and rename.
    const int fd = file.duplicateFd();
    gzFile out = fd >= 0 ? gzdopen(fd, bGzip ? "wb6" : "wbT") : nullptr;
    if (out == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        reportWriteError(pFile, fd < 0 ? file.error().c_str() : "no memory for the zlib stream");
        return 0;
    }
    gzbuffer(out, 256 * 1024);
    bool bOk = writeRecords(pUf, iFraming, out, pFile);
    const int iClosed = gzclose(out);
    if (bOk && iClosed != Z_OK) {
        reportWriteError(pFile, iClosed == Z_ERRNO ? std::strerror(errno) : "compression failed");
        bOk = false;
    }
    if (bOk && !file.commit()) {
        reportWriteError(pFile, file.error());
        bOk = false;
    }
    return bOk ? 1 : 0;
}
