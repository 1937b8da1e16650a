// The UF encoder: one UF_RAY to one record of big-endian 16-bit words, laid out afresh
// (mandatory header, the optional header when the ray has one, local-use words, data
// header, then each field's header followed by its bins). Also the word coding that the
// sync-down shares, so that what it stores in a UF_RAY is what the record will carry.
#ifndef RDR_UF_VOLUME_OUTPUT_ENCODER_H
#define RDR_UF_VOLUME_OUTPUT_ENCODER_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "uf_radar.h"

constexpr int kUfMaxRecordWords = 32767;  // positions are signed 16-bit words

inline short ufClampWord(long iValue) {
    return static_cast<short>(std::clamp<long>(iValue, -32768, 32767));
}

// Angles, seconds and a few header values travel as value * 64.
inline short ufFixed64(float fValue) {
    return ufClampWord(std::lround(fValue * 64.0));
}

// Inverse of "word / scale factor"; a zero scale stores nothing.
inline short ufScaledWord(float fValue, short iScale) {
    return iScale != 0 ? ufClampWord(std::lround(static_cast<double>(fValue) * iScale)) : 0;
}

// Sets the ray's record length and header positions to the layout encodeUfRecord
// writes. The optional header is kept when the ray has one (m_iOHpos != m_iLHpos).
// Returns 0 when the record would exceed the 32767 words its positions can address.
int ufLayoutRay(UF_RAY* pRay);

// Appends the ray as one record (no framing) to pOut; 0 when it cannot be encoded.
int encodeUfRecord(const UF_RAY* pRay, std::vector<unsigned char>* pOut);

#endif
