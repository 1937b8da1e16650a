// The GRIB volume loader's pieces shared with the format registry and the tests: the
// framing of GRIB 2 messages, checked before ecCodes sees a byte, and the hand-over of a
// GRIB_RADAR from the child process that decoded it.
#ifndef RDR_GRIB_VOLUME_INPUT_H
#define RDR_GRIB_VOLUME_INPUT_H

#include <cstddef>
#include <string>
#include <vector>

#include "grib_radar.h"
#include "internal/isolated_decode.h"

struct GribMessageSpan {
    std::size_t offset;
    std::size_t length;
};

// What the start of a message says it is.
enum class GribMessageKind {
    kRadarVolume,   // the system's volume moment (centre 40, local section 1, signature)
    kRadarProduct,  // the system's product dataset (centre 40, local section 2)
    kForeign,       // another GRIB 2 message, or GRIB 1
    kCut,           // too short to tell
};

// From the first bytes of a message (the registry's head is enough); *pWhy describes a
// foreign message ("GRIB edition 2 from centre 161 without a local section").
GribMessageKind gribMessageKind(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy);

// Splits a file's content into whole messages: each starts with "GRIB", declares a length
// that the content holds and ends with "7777"; nothing may follow the last. False with the
// reason otherwise.
bool splitGribMessages(const unsigned char* pBytes, std::size_t nBytes,
                       std::vector<GribMessageSpan>* pSpans, std::string* pWhy);

// The child's side of fnLoadGribRadar, without the child: decodes the content with ecCodes
// (which must be open). Null after a message.
GRIB_RADAR* decodeGribRadar(const unsigned char* pBytes, std::size_t nBytes);

bool writeGribRadarBytes(const GRIB_RADAR* pGrib, IsolatedOutput& output);
// A new GRIB_RADAR, or null with the reason in *pWhy; every count is checked again.
GRIB_RADAR* readGribRadarBytes(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy);

// fnInitGribRadar, or with bBlocks the loader's form: the values in bin blocks
// (m_pBinBlocks) and left uninitialised, for a caller that writes every one.
GRIB_RADAR* newGribRadar(int iMaxSweep, int iMaxRay, int iMaxField, const int* pBinCounts,
                         bool bBlocks);

// Bytes writeGribRadarBytes writes for the volume.
std::size_t gribRadarByteCount(const GRIB_RADAR* pGrib);

// Limits of the decoding child (tests lower them).
IsolationLimits gribIsolationLimits();
void setGribIsolationLimits(const IsolationLimits& limits);

#endif
