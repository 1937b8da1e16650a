// Installation roots are compiled in as absolute paths ("/rdr/REF/MAP/map.ini").
// Every such path goes through rdrRootPath, which puts the value of RDR_ROOT in front
// when that variable is set and not empty, so that tests and the demo can run against
// a staged tree instead of the real installation.
#ifndef RDR_ROOT_H
#define RDR_ROOT_H

#include <cstdio>
#include <cstdlib>
#include <string>

// Writes the rooted form of szAbsPath into szBuf (at most iBufLen bytes, NUL included).
// Returns szBuf, or null when the result does not fit.
inline char* rdrRootPath(const char* szAbsPath, char* szBuf, int iBufLen) {
    if (szAbsPath == nullptr || szBuf == nullptr || iBufLen <= 0) {
        return nullptr;
    }
    const char* szRoot = std::getenv("RDR_ROOT");
    if (szRoot == nullptr) {
        szRoot = "";
    }
    int n = std::snprintf(szBuf, static_cast<size_t>(iBufLen), "%s%s", szRoot, szAbsPath);
    if (n < 0 || n >= iBufLen) {
        szBuf[0] = '\0';
        return nullptr;
    }
    return szBuf;
}

inline std::string rdrRootPath(const std::string& absPath) {
    const char* szRoot = std::getenv("RDR_ROOT");
    return (szRoot != nullptr ? std::string(szRoot) : std::string()) + absPath;
}

#endif
