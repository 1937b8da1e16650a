#include <iconv.h>

#include <cstring>

#include "image_layers.h"
#include "rdr_root.h"

int euckr2utf(const char* str, char* out) {
    // One converter for the whole process: the program is short-lived and single-threaded.
    static iconv_t cd = iconv_open("UTF-8", "EUC-KR");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return -1;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t in_left = std::strlen(str);
    size_t out_left = in_left * 2;
    char* in = const_cast<char*>(str);
    char* op = out;
    // On an invalid or cut sequence iconv stops; what was converted so far is kept.
    iconv(cd, &in, &in_left, &op, &out_left);
    return 0;
}

void pv_draw_ttf(gdImagePtr im, int color, double size, int x, int y, const char* utf8) {
    const std::string font = rdrRootPath(std::string("/usr/share/fonts/korean/TrueType/gulim.ttf"));
    int brect[8];
    gdImageStringFT(im, brect, color, const_cast<char*>(font.c_str()), size, 0.0, x, y,
                    const_cast<char*>(utf8));
}
