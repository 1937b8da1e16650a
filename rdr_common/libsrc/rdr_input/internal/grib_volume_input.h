// The GRIB volume loader's pieces shared with the format registry and the tests: the
// framing of GRIB 2 messages, checked before ecCodes sees a byte, and the hand-over of a
// GRIB_RADAR from the child process that decoded it.
#ifndef RDR_GRIB_VOLUME_INPUT_H
#define RDR_GRIB_VOLUME_INPUT_H

#include <cstddef>
#include <functional>
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

// Where the hand-over puts everything: each moment's values come last, each at a 16-byte
// boundary, so that the decoding child can decode them straight into place.
struct GribHandOverLayout {
    std::size_t nBytes = 0;                // the whole hand-over
    std::vector<std::size_t> dataOffsets;  // each moment's values
};

// False when the counts are impossible (the reader's own checks).
bool gribHandOverLayout(int nSweep, int nRay, int nVolume, const int* pBins,
                        GribHandOverLayout* pLayout);

// Given the volume's layout, memory of layout.nBytes the decode writes each moment's
// values into at their offsets; null when there is none.
using GribHandOverRoom = std::function<unsigned char*(const GribHandOverLayout& layout)>;

// The child's side of fnLoadGribRadar, without the child: decodes the content with ecCodes
// (which must be open). Null after a message. With pRoom, the values are decoded into the
// room it gives, and the volume's m_pData point there (null them before fnFreeGribRadar).
GRIB_RADAR* decodeGribRadar(const unsigned char* pBytes, std::size_t nBytes,
                            const GribHandOverRoom* pRoom = nullptr);

// Writes the hand-over; a value row already at its place in the output is not copied.
bool writeGribRadarBytes(const GRIB_RADAR* pGrib, IsolatedOutput& output);
// A new GRIB_RADAR, or null with the reason in *pWhy; every count is checked again.
GRIB_RADAR* readGribRadarBytes(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy);

// fnInitGribRadar, or with bBlocks the loader's form: the values in bin blocks
// (m_pBinBlocks) and left uninitialised, for a caller that writes every one. With ppRows,
// the values are the caller's (ppRows[k] for moment k, uninitialised, never freed here:
// null them before fnFreeGribRadar).
GRIB_RADAR* newGribRadar(int iMaxSweep, int iMaxRay, int iMaxField, const int* pBinCounts,
                         bool bBlocks, short* const* ppRows = nullptr);

// Bytes writeGribRadarBytes writes for the volume.
std::size_t gribRadarByteCount(const GRIB_RADAR* pGrib);

// Limits of the decoding child (tests lower them).
IsolationLimits gribIsolationLimits();
void setGribIsolationLimits(const IsolationLimits& limits);

#endif
