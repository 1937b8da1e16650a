// The text layer of the strike readers: lines of a daily file, their columns, the strike
// time and the numbers in them, each checked before it is used. Shared by the readers and
// the fuzz target; nothing here opens a file.
#ifndef CGI_LGT_INTERNAL_LIGHTNING_TEXT_H
#define CGI_LGT_INTERNAL_LIGHTNING_TEXT_H

#include <cstddef>
#include <cstring>
#include <ctime>
#include <string_view>

#include "lightning_input.h"

namespace lgt_text {

// Length of a strike time YYYYMMDDHHMM.
constexpr size_t kTimeLen = 12;

// Splits a line (without its line end) into at most maxColumns columns separated by runs of
// blanks and tabs; a column that opens a parenthesis runs to the matching one, and a word
// followed by blanks and such a group takes the group in. Returns the number of columns
// found.
int splitColumns(std::string_view line, std::string_view* columns, int maxColumns);
// The same one character at a time: the reference the vector search is checked against.
int splitColumnsScalar(std::string_view line, std::string_view* columns, int maxColumns);

// The strike time of a line as YYYYMMDDHHMM into out (kTimeLen bytes, not terminated);
// false when the columns do not hold a real date and time.
bool vyqTime(const std::string_view* columns, char* out);
bool nx1Time(const std::string_view* columns, char* out);

// The strike identifier (column 0 of NX1); false when it is not a whole 32-bit number.
bool nx1Id(const std::string_view* columns, int* out);

// Fills a zeroed record from all columns of its layout (the time as given); false when a
// number does not parse.
bool fillVyq(const std::string_view* columns, const char* time, LGT_VYQ_DATA* rec);
bool fillNx1(const std::string_view* columns, const char* time, LGT_NX1_DATA* rec);

// Strict number parsing of a whole column.
bool parseInt(std::string_view s, int* out);
bool parseFloat(std::string_view s, float* out);

// A YYYYMMDDHHMM string naming a real date and time (1900 to 9999).
bool validTime(const char* s);
// The same into a local broken-down time (seconds 0, daylight saving left to mktime).
bool parseTime(const char* s, struct tm* out);

// Calls onLine(std::string_view) for each complete or final line of data[0, size), without
// its line end ("\n" or "\r\n"); returns the offset just past the last complete line, so
// that a reader working in pieces can carry the rest over.
template <class OnLine>
size_t forEachLine(const char* data, size_t size, bool final, OnLine&& onLine) {
    size_t pos = 0;
    while (pos < size) {
        const void* nl = std::memchr(data + pos, '\n', size - pos);
        if (nl == nullptr && !final) {
            break;
        }
        const size_t end =
            nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - data) : size;
        size_t len = end - pos;
        if (len > 0 && data[pos + len - 1] == '\r') {
            --len;
        }
        if (!onLine(std::string_view(data + pos, len))) {
            return size;
        }
        pos = nl != nullptr ? end + 1 : size;
    }
    return pos;
}

}  // namespace lgt_text

#endif
