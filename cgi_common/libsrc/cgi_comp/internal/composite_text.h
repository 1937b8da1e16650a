// Text on composite images: the "YYYYMMDDHHMM" dates callers pass, the fonts under the
// composite root, and TrueType text measured and drawn through gd with its failure reported.
#ifndef CGI_COMP_INTERNAL_COMPOSITE_TEXT_H
#define CGI_COMP_INTERNAL_COMPOSITE_TEXT_H

#include <gd.h>

#include <ctime>
#include <string>

namespace comp_text {

// True when a caller's name (product, unit, quality; possibly null) is exactly szKnown.
bool sameName(const char* szName, const char* szKnown);

// The broken-down time of a date of exactly twelve digits that names a real minute
// ("YYYYMMDDHHMM", year 1 or later); false for anything else, null included.
bool parseDate(const char* szDate, struct tm& out);

// "YYYY.MM.DD. HH:MM" of a valid date; empty for an invalid one.
std::string displayDate(const char* szDate);

// Path of a composite font ("timesbd.ttf", "times.ttf", "NanumGothic.ttf", "gulim.ttc"),
// rooted under RDR_ROOT.
std::string fontPath(const char* szName);

// The bounding box of text in the font at pt points, as gdImageStringFT gives it; false
// when the font cannot be used.
bool measure(const std::string& font, double pt, const std::string& text, int brect[8]);

// Draws UTF-8 text with its baseline starting at (x, y); false when the font cannot be used.
bool draw(gdImagePtr img, const std::string& font, double pt, int colour, int x, int y,
          const std::string& text);

// Draws text horizontally centred over columns 0 .. nSpan (x = (nSpan + left - right) / 2).
bool drawCentred(gdImagePtr img, const std::string& font, double pt, int colour, int nSpan, int y,
                 const std::string& text);

}  // namespace comp_text

#endif
