// The record layer of the UF reader: a bounds-checked view of one record of big-endian
// 16-bit words, and the converters from record words to the UF header structures.
//
// Positions are 1-based word numbers, as the record's own header pointers are. Every
// window is checked against the record's length before a byte of it is read, so no
// header pointer, count or bin range in a damaged record can reach past the record.
#ifndef RDR_UF_RECORD_H
#define RDR_UF_RECORD_H

#include <cstddef>

#include "uf_radar.h"

// A checked run of words inside a record; word 1 is the window's first word.
class UfWords {
  public:
    UfWords() = default;
    UfWords(const unsigned char* pBytes, int iWords) : m_pBytes(pBytes), m_iWords(iWords) {}

    int size() const { return m_iWords; }
    // Word iPos (1-based) of the window; 0 outside it (callers check sizes first).
    short word(int iPos) const {
        if (iPos < 1 || iPos > m_iWords) {
            return 0;
        }
        const unsigned char* p = m_pBytes + 2 * (iPos - 1);
        return static_cast<short>((p[0] << 8) | p[1]);
    }
    // A /64 fixed-point word in its unit (degrees, seconds, ...).
    float fixed64(int iPos) const { return word(iPos) * 0.015625f; }
    // iWords words from iPos as 2 * iWords characters in file order, NUL-terminated:
    // szOut holds 2 * iWords + 1 bytes.
    void text(int iPos, int iWords, char* szOut) const;
    // iCount words from iPos into host-order values.
    void copyWords(int iPos, int iCount, short* pOut) const;
    const unsigned char* bytes(int iPos) const { return m_pBytes + 2 * (iPos - 1); }

  private:
    const unsigned char* m_pBytes = nullptr;
    int m_iWords = 0;
};

// One whole record.
class UfRecord {
  public:
    UfRecord(const unsigned char* pBytes, std::size_t nBytes)
        : m_pBytes(pBytes), m_iWords(static_cast<int>(nBytes / 2)) {}

    int words() const { return m_iWords; }
    // True when the words iPos .. iPos + iCount - 1 all lie inside the record.
    bool contains(int iPos, int iCount) const {
        return iPos >= 1 && iCount >= 0 && iPos <= m_iWords + 1 && iCount <= m_iWords - (iPos - 1);
    }
    // The window of iCount words at iPos, or false when any of it lies outside.
    bool window(int iPos, int iCount, UfWords* pOut) const {
        if (!contains(iPos, iCount)) {
            return false;
        }
        *pOut = UfWords(m_pBytes + 2 * static_cast<std::size_t>(iPos - 1), iCount);
        return true;
    }

  private:
    const unsigned char* m_pBytes;
    int m_iWords;
};

// Header lengths in words.
constexpr int UF_MANDATORY_WORDS = 45;
constexpr int UF_OPTIONAL_WORDS = 14;
constexpr int UF_DATA_HDR_FIXED_WORDS = 3;  // then a name and a position per field
constexpr int UF_FIELD_HDR_WORDS = 19;      // words every field header has
constexpr int UF_VELOCITY_HDR_WORDS = 21;   // velocity fields: Nyquist and flag
constexpr int UF_DM_HDR_WORDS = 25;         // "DM": radar constant to pulse duration

// Two-digit years: 80-99 are 1980-1999, 0-79 are 2000-2079; four-digit years stay.
short ufFourDigitYear(short iYear);
// Words of a field header as read for this field name (19, 21 or 25).
int ufFieldHeaderWords(const char* szFieldName);

// Header converters; each takes the window of exactly its header's words.
void fnMandatoryHeaderConvert(const UfWords& w, UF_MANDATORY_HDR* pHdr);
void fnOptionalHeaderConvert(const UfWords& w, UF_OPTIONAL_HDR* pHdr);
// Copies the window's words as raw bytes; leaves the header absent when the window is
// empty or the copy cannot be allocated.
void fnLocalUseHeaderConvert(const UfWords& w, UF_LOCAL_HDR* pHdr);
// Fills the three counts; the field entries are filled by fieldInfoConvert.
void fnDataHeaderConvert(const UfWords& w, UF_DATA_HDR* pHdr);
void fieldInfoConvert(const UfWords& w, int iField, UF_FIELD_INFO* pInfo);
// The window holds ufFieldHeaderWords(szFieldName) words.
void fnFieldHeaderConvert(const UfWords& w, const char* szFieldName, UF_FIELD_HDR* pHdr);

#endif
