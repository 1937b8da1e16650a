#include "internal/bufr_message.h"

#include <cstring>

namespace {

unsigned be16(const unsigned char* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}

unsigned be24(const unsigned char* p) {
    return (static_cast<unsigned>(p[0]) << 16) | (static_cast<unsigned>(p[1]) << 8) | p[2];
}

// Section 1 of edition 2 and 3 carries the year of the century.
int fullYear(int iYearOfCentury) {
    if (iYearOfCentury > 100) {
        return 1900 + iYearOfCentury;  // some writers count from 1900
    }
    return iYearOfCentury < 70 ? 2000 + iYearOfCentury : 1900 + iYearOfCentury;
}

}  // namespace

long findBufrSignature(const unsigned char* p, size_t n) {
    const size_t limit = n < kBufrSignatureSearch ? n : kBufrSignatureSearch;
    for (size_t i = 0; i + 4 <= n && i < limit; ++i) {
        if (std::memcmp(p + i, "BUFR", 4) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

bool parseBufrMessage(const unsigned char* p, size_t n, BufrMessage* pMsg, std::string* pWhy) {
    *pMsg = BufrMessage{};
    const long start = p == nullptr ? -1 : findBufrSignature(p, n);
    if (start < 0) {
        *pWhy = "no BUFR signature";
        return false;
    }
    p += start;
    n -= static_cast<size_t>(start);
    if (n < 8) {
        *pWhy = "truncated in section 0";
        return false;
    }
    const int edition = p[7];
    if (edition < 2 || edition > 4) {
        *pWhy = "BUFR edition " + std::to_string(edition) + " is not read (2 to 4 are)";
        return false;
    }
    const size_t total = be24(p + 4);
    if (total > n) {
        *pWhy = "truncated: the message says " + std::to_string(total) + " bytes, the file has " +
                std::to_string(n);
        return false;
    }
    pMsg->iEdition = edition;

    // Each section starts with its own 3-byte length, which must leave room for the next.
    size_t offset = 8;
    const auto section = [&](size_t minLength, const char* szName, size_t* pLength) {
        if (offset + 3 > total) {
            *pWhy = std::string("no room for ") + szName;
            return false;
        }
        *pLength = be24(p + offset);
        if (*pLength < minLength || *pLength > total - offset) {
            *pWhy = std::string(szName) + " length " + std::to_string(*pLength) + " is impossible";
            return false;
        }
        return true;
    };

    size_t len1 = 0;
    if (!section(edition == 4 ? 22 : 17, "section 1", &len1)) {
        return false;
    }
    const unsigned char* s1 = p + offset;
    bool bSection2 = false;
    if (edition == 4) {
        pMsg->iCentre = static_cast<int>(be16(s1 + 4));
        pMsg->iSubcentre = static_cast<int>(be16(s1 + 6));
        bSection2 = (s1[9] & 0x80) != 0;
        pMsg->iMaster = s1[13];
        pMsg->iLocal = s1[14];
        pMsg->iYear = static_cast<int>(be16(s1 + 15));
        pMsg->iMonth = s1[17];
        pMsg->iDay = s1[18];
        pMsg->iHour = s1[19];
        pMsg->iMinute = s1[20];
        pMsg->iSecond = s1[21];
    } else {
        pMsg->iSubcentre = s1[4];
        pMsg->iCentre = s1[5];
        bSection2 = (s1[7] & 0x80) != 0;
        pMsg->iMaster = s1[10];
        pMsg->iLocal = s1[11];
        pMsg->iYear = fullYear(s1[12]);
        pMsg->iMonth = s1[13];
        pMsg->iDay = s1[14];
        pMsg->iHour = s1[15];
        pMsg->iMinute = s1[16];
    }
    if (s1[3] != 0) {
        *pWhy = "master table " + std::to_string(s1[3]) + " is not meteorology (0)";
        return false;
    }
    offset += len1;

    if (bSection2) {
        size_t len2 = 0;
        if (!section(4, "section 2", &len2)) {
            return false;
        }
        offset += len2;
    }

    size_t len3 = 0;
    if (!section(9, "section 3", &len3)) {
        return false;
    }
    const unsigned char* s3 = p + offset;
    pMsg->iSubsets = static_cast<int>(be16(s3 + 4));
    pMsg->bCompressed = (s3[6] & 0x40) != 0;
    const size_t nDescriptors = (len3 - 7) / 2;
    pMsg->descriptors.reserve(nDescriptors);
    for (size_t i = 0; i < nDescriptors; ++i) {
        const unsigned d = be16(s3 + 7 + 2 * i);
        const int f = static_cast<int>(d >> 14);
        const int x = static_cast<int>((d >> 8) & 0x3f);
        const int y = static_cast<int>(d & 0xff);
        pMsg->descriptors.push_back(f * 100000 + x * 1000 + y);
    }
    offset += len3;

    size_t len4 = 0;
    if (!section(4, "section 4", &len4)) {
        return false;
    }
    pMsg->pData = p + offset + 4;
    pMsg->nDataBits = (len4 - 4) * 8;
    offset += len4;

    if (offset + 4 != total || std::memcmp(p + offset, "7777", 4) != 0) {
        *pWhy = "no end section \"7777\" where the lengths put it";
        return false;
    }
    return true;
}
