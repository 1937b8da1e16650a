// The BUFR encoder: a descriptor list and its values to one edition-4 message, walking the
// descriptors with the same table files the decoder reads. It is the decoder's mirror:
// element descriptors take one value each (a CCITT IA5 element one value per character),
// delayed replication takes its factor from the values, sequences expand from the tables,
// and the operators 2-01 (data width) and 2-02 (scale) apply to the numbers after them.
#ifndef RDR_BUFR_OUTPUT_ENCODER_H
#define RDR_BUFR_OUTPUT_ENCODER_H

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "internal/bufr_tables.h"

// A value that BUFR carries as "missing" (all bits set).
constexpr double kBufrMissingValue = std::numeric_limits<double>::quiet_NaN();

// Section 1 of an edition-4 message.
struct BufrIdentification {
    int iMasterTable = 0;
    int iCentre = 0;
    int iSubcentre = 0;
    int iUpdateSequence = 0;
    int iDataCategory = 0;
    int iInternationalSubcategory = 0;
    int iLocalSubcategory = 0;
    int iMasterVersion = 0;
    int iLocalVersion = 0;
    int iYear = 0, iMonth = 0, iDay = 0, iHour = 0, iMinute = 0, iSecond = 0;
};

// Descriptors as F * 100000 + X * 1000 + Y.
constexpr int bufrFxy(int f, int x, int y) {
    return f * 100000 + x * 1000 + y;
}

// One message holding one subset, or false with the reason in *pWhy: a descriptor the
// tables lack, a value that does not fit its descriptor, too few or too many values, a
// message longer than the 16 MB that BUFR's three-byte lengths allow.
bool encodeBufrMessage(const BufrIdentification& ident, const std::vector<int>& descriptors,
                       const std::vector<double>& values, const BufrTables& tables,
                       std::vector<unsigned char>* pMessage, std::string* pWhy);

#endif
