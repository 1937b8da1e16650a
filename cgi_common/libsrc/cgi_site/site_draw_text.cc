#include <iconv.h>

#include <cstdio>
#include <string>

#include "internal/site_draw_text.h"
#include "rdr_root.h"

namespace site_text {

namespace {

bool isValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || s.size() - i <= static_cast<size_t>(extra)) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += 1 + extra;
    }
    return true;
}

}  // namespace

std::string titleTime(const struct tm& t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d.%02d.%02d. %02d:%02d(KST)", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min);
    return buf;
}

std::string refFont(const char* szName) {
    return rdrRootPath(std::string("/rdr/REF/FONT/") + szName);
}

int textWidth(const std::string& font, double pt, const std::string& text) {
    std::string f = font;
    std::string t = text;
    int box[8];
    if (gdImageStringFT(nullptr, box, 0, f.data(), pt, 0.0, 0, 0, t.data()) != nullptr) {
        return 0;
    }
    return box[2] - box[0];
}

void drawText(gdImagePtr img, const std::string& font, double pt, int colour, int x, int y,
              const std::string& text) {
    std::string f = font;
    std::string t = text;
    int box[8];
    gdImageStringFT(img, box, colour, f.data(), pt, 0.0, x, y, t.data());
}

std::string stationNameUtf8(const char* szName) {
    const std::string in = szName != nullptr ? szName : "";
    if (isValidUtf8(in)) {
        return in;
    }
    iconv_t cd = iconv_open("UTF-8", "EUC-KR");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return in;
    }
    std::string src = in;
    std::string out(src.size() * 3 + 4, '\0');
    char* pIn = src.data();
    char* pOut = out.data();
    size_t inLeft = src.size();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &pIn, &inLeft, &pOut, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) {
        return in;
    }
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace site_text
