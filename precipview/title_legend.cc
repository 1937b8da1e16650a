#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gdfontl.h>
#include <gdfonts.h>

#include "image_layers.h"
#include "precipview_state.h"
#include "time_seq.h"

namespace {

unsigned char* text(const char* s) {
    return reinterpret_cast<unsigned char*>(const_cast<char*>(s));
}

// UTF-8 form of an EUC-KR text of at most 63 bytes.
struct Utf8 {
    char buf[128];
    explicit Utf8(const char* euckr) {
        char in[64];
        std::snprintf(in, sizeof in, "%s", euckr);
        std::memset(buf, 0, sizeof buf);
        euckr2utf(in, buf);
    }
};

void type_label(gdImagePtr im, int colour, int k, float dy, const char* label) {
    char first[5] = {0}, second[5] = {0};
    size_t len = std::strlen(label);
    std::memcpy(first, label, std::min<size_t>(len, 4));
    if (len > 4) {
        std::memcpy(second, label + 4, std::min<size_t>(len - 4, 4));
    }
    int y = static_cast<int>((var.num_color - k - 1) * dy + 20 + 15);
    for (int x : {var.NI + 12, var.NI + 11}) {
        pv_draw_ttf(im, colour, 8.5, x, y, Utf8(first).buf);
        if (second[0] != '\0') {
            pv_draw_ttf(im, colour, 8.5, x, y + 14, Utf8(second).buf);
        }
    }
}

}  // namespace

const char* pv_title_euckr(const char* obs) {
    static const struct {
        const char* obs;
        const char* title;
    } kTitles[] = {
        {"RNEX", "\xbd\xc7\xc8\xb2 \xb0\xad\xbc\xf6\xbf\xb5\xbf\xaa"},  // 실황 강수영역
        {"RNSN", "\xbd\xc7\xc8\xb2 \xb4\xab\xba\xf1\xbf\xb5\xbf\xaa"},  // 실황 눈비영역
        {"RNSN1",  // 실황 눈비영역(최적)
         "\xbd\xc7\xc8\xb2 \xb4\xab\xba\xf1\xbf\xb5\xbf\xaa(\xc3\xd6\xc0\xfb)"},
        {"RNSN2",  // 실황 눈비영역(레이더)
         "\xbd\xc7\xc8\xb2 \xb4\xab\xba\xf1\xbf\xb5\xbf\xaa(\xb7\xb9\xc0\xcc\xb4\xf5)"},
        {"AREA", "\xb4\xab\xba\xf1\xb0\xa1\xb4\xc9\xbf\xb5\xbf\xaa"},  // 눈비가능영역
        {"TW", "\xbd\xc7\xc8\xb2 \xbd\xc0\xb1\xb8\xbf\xc2\xb5\xb5"},   // 실황 습구온도
        {"HSR", "\xbd\xc7\xc8\xb2 \xb7\xb9\xc0\xcc\xb4\xf5"},          // 실황 레이더
        {"RN15X", "AWS \xb0\xad\xbc\xf6(15\xba\xd0)*4"},               // AWS 강수(15분)*4
    };
    for (const auto& t : kTitles) {
        if (std::strcmp(t.obs, obs) == 0) {
            return t.title;
        }
    }
    return "";
}

int title_disp(gdImagePtr im, int color_lvl[]) {
    gdImageFilledRectangle(im, 0, 0, var.GI, 20, color_lvl[kSlotWhite]);
    const char* title = pv_title_euckr(var.obs);
    Utf8 utf(title);
    pv_draw_ttf(im, color_lvl[kSlotBlue], 11.5, 5, 16, utf.buf);
    pv_draw_ttf(im, color_lvl[kSlotBlue], 11.5, 6, 16, utf.buf);

    int YY, MM, DD, HH, MI;
    seq2time(var.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
    char tm[32];
    std::snprintf(tm, sizeof tm, "%04d.%02d.%02d.%02d:%02d", YY, MM, DD, HH, MI);
    int x = std::max(130, static_cast<int>(std::strlen(title) * 8.6 + 10.0));
    gdImageString(im, gdFontGetLarge(), x, 1, text(tm), color_lvl[kSlotText]);
    gdImageString(im, gdFontGetLarge(), x + 1, 1, text(tm), color_lvl[kSlotText]);
    return 0;
}

int legend_disp(gdImagePtr im, int color_lvl[], float data_lvl[]) {
    if (var.legend != 1 || var.num_color < 1) {
        return 0;
    }
    const float dy = static_cast<float>(var.NJ) / static_cast<float>(var.num_color);
    const bool type_product = pv_is_type_product(var.obs);
    const bool rnex = std::strcmp(var.obs, "RNEX") == 0;
    for (int k = 0; k < var.num_color; k++) {
        int top, bottom;
        if (type_product) {
            top = static_cast<int>((var.num_color - 1 - k) * dy + 20);
            bottom = static_cast<int>(static_cast<float>(top) + dy);
        } else {
            int y1 = static_cast<int>(static_cast<float>(var.GJ) - k * dy);
            top = static_cast<int>(static_cast<float>(y1) - dy);
            bottom = y1;
        }
        gdImageFilledRectangle(im, var.NI, top, var.NI + 8, bottom, color_lvl[k]);
    }
    gdImageRectangle(im, var.NI - 1, 20, var.NI + 8, var.GJ - 1, color_lvl[kSlotFrame]);
    gdImageFilledRectangle(im, var.NI + 9, 0, var.GI - 1, var.GJ, color_lvl[kSlotWhite]);

    if (type_product) {
        for (int k = 0; k < var.num_color && k < 4; k++) {
            type_label(im, color_lvl[kSlotBlue], k, dy,
                       rnex ? rnex_color[k].rnex_ko : rnsn_color[k].rnsn_ko);
        }
    } else {
        const bool tw = std::strcmp(var.obs, "TW") == 0;
        for (int k = 0; k < var.num_color - 1; k++) {
            char label[32];
            float level = data_lvl[k];
            std::snprintf(label, sizeof label, (tw || level >= 5.0f) ? "%.0f" : "%.1f", level);
            int y = static_cast<int>(static_cast<float>(var.GJ) - (k + 1) * dy - 5.0f);
            gdImageString(im, gdFontGetSmall(), var.NI + 12, y, text(label), color_lvl[kSlotText]);
        }
    }
    const char* unit = " ";
    if (std::strcmp(var.obs, "TW") == 0) {
        unit = "C";
    } else if (std::strcmp(var.obs, "HSR") == 0 || std::strcmp(var.obs, "RN15X") == 0) {
        unit = "mm/h";
    }
    gdImageString(im, gdFontGetLarge(), var.NI + 3, 4, text(unit), color_lvl[kSlotText]);
    return 0;
}
