// Text on site images: the title's time, the fonts under /rdr/REF/FONT, TrueType text
// measured and drawn through gd, and station names stored in EUC-KR.
#ifndef CGI_SITE_DRAW_TEXT_H
#define CGI_SITE_DRAW_TEXT_H

#include <gd.h>

#include <ctime>
#include <string>

namespace site_text {

// "YYYY.MM.DD. HH:MM(KST)" of a local time; fields are printed as numbers, so a time out
// of range prints oddly but safely.
std::string titleTime(const struct tm& t);

// Path of a font of the site display (rooted under RDR_ROOT).
std::string refFont(const char* szName);

// Width in pixels of text in the font at pt points; 0 when the font cannot be used.
int textWidth(const std::string& font, double pt, const std::string& text);

// Draws UTF-8 text with its baseline starting at (x, y); nothing when the font cannot be
// used.
void drawText(gdImagePtr img, const std::string& font, double pt, int colour, int x, int y,
              const std::string& text);

// A station name as UTF-8: names stored in EUC-KR are converted; names that already are
// UTF-8 (or plain ASCII), and names that do not convert, pass unchanged.
std::string stationNameUtf8(const char* szName);

}  // namespace site_text

#endif
