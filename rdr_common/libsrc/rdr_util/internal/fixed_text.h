// Copying text into the fixed-width, zero-terminated char arrays of the radar structures.
#ifndef RDR_FIXED_TEXT_H
#define RDR_FIXED_TEXT_H

#include <cstddef>
#include <cstring>

// Copies at most nSrc characters of szSrc, stopping at its terminator, cut to fit nDst with
// the terminator; the rest of the array is zeroed as the structures' headers expect.
// bTrimBlanks drops trailing blanks, which some writers pad fixed-width strings with.
inline void copyFixedText(char* szDst, std::size_t nDst, const char* szSrc,
                          std::size_t nSrc = static_cast<std::size_t>(-1),
                          bool bTrimBlanks = false) {
    if (szDst == nullptr || nDst == 0) {
        return;
    }
    std::size_t n = 0;
    while (szSrc != nullptr && n < nSrc && n + 1 < nDst && szSrc[n] != '\0') {
        ++n;
    }
    if (n > 0) {
        std::memcpy(szDst, szSrc, n);
    }
    while (bTrimBlanks && n > 0 && (szDst[n - 1] == ' ' || szDst[n - 1] == '\t')) {
        --n;
    }
    std::memset(szDst + n, 0, nDst - n);
}

#endif
