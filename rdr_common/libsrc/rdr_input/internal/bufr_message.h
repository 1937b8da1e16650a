// One BUFR message (editions 2 to 4) located in a byte buffer: sections 0 to 5 found and
// their lengths checked against the buffer and each other; nothing of section 4 is
// decoded here.
#ifndef RDR_BUFR_MESSAGE_H
#define RDR_BUFR_MESSAGE_H

#include <cstddef>
#include <string>
#include <vector>

struct BufrMessage {
    int iEdition = 0;
    int iCentre = 0;
    int iSubcentre = 0;
    int iMaster = 0;  // master table version
    int iLocal = 0;   // local table version
    int iYear = 0, iMonth = 0, iDay = 0, iHour = 0, iMinute = 0, iSecond = 0;  // section 1
    int iSubsets = 0;
    bool bCompressed = false;
    std::vector<int> descriptors;          // section 3, unexpanded, as F*100000 + X*1000 + Y
    const unsigned char* pData = nullptr;  // section 4 payload
    size_t nDataBits = 0;
};

// How far into a file the "BUFR" signature may start (a transmission header before it).
constexpr size_t kBufrSignatureSearch = 512;

// Offset of "BUFR" within the first kBufrSignatureSearch bytes of p, or -1.
long findBufrSignature(const unsigned char* p, size_t n);

// Fills *pMsg from the first message of p[0..n); pMsg points into p afterwards. False
// with *pWhy for anything that is not a whole, consistent message.
bool parseBufrMessage(const unsigned char* p, size_t n, BufrMessage* pMsg, std::string* pWhy);

#endif
