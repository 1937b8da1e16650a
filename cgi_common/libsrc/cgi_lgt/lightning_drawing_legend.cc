// The stand-alone colour legend of the lightning products.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "display_colours.h"
#include "display_utilities.h"
#include "internal/lightning_text.h"
#include "lightning_drawing.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

constexpr double kUnitPt = 10.0;
constexpr double kLabelPt = 8.0;
constexpr int kBoxRight = 10;
constexpr int kLabelX = 15;

using TablePtr = std::unique_ptr<CGI_COLOR_TBL, rdr::ReleaseWith<rdr::freeMemory>>;

bool same(const char* a, const char* b) {
    return a != nullptr && std::strcmp(a, b) == 0;
}

bool isTimeProduct(const char* type) {
    return same(type, "LGTTIME") || same(type, "LGTAREA") || same(type, "LGTVWORLD");
}

// Draws text with its first baseline at (x, y); the box it covers in *box.
bool drawText(gdImagePtr img, const std::string& font, double pt, int colour, int x, int y,
              const std::string& text, int* box) {
    std::string f = font;
    std::string t = text;
    return gdImageStringFT(img, box, colour, f.data(), pt, 0.0, x, y, t.data()) == nullptr;
}

// A threshold as a whole number for its label; a value no label can show is shown as 0.
int thresholdLabel(float v) {
    return std::isfinite(v) && std::fabs(v) < 100000.0f ? static_cast<int>(v) : 0;
}

}  // namespace

std::string lgtColourFile(const char* szP_type) {
    const char* name = same(szP_type, "LGTTIME")   ? "vyq_lgt_time_tarvo.col"
                       : same(szP_type, "LGTINTN") ? "vyq_lgt_pow_tarvo.col"
                                                   : "vyq_lgt_area_tarvo.col";
    return rdrRootPath(std::string("/srv/brem/cgi_project/resource/color/") + name);
}

const char* lgtUnitLabel(const char* szP_type) {
    return same(szP_type, "LGTINTN") ? "kA" : "times";
}

gdImagePtr lgtLegendImage(const char* szP_type, int nImgYdim, const char* szEndTime,
                          int nLgt_intv) {
    const int height = std::clamp(nImgYdim, LGT_LEGEND_MIN_HEIGHT, LGT_LEGEND_MAX_HEIGHT);
    gdImagePtr img = gdImageCreateTrueColor(LGT_LEGEND_WIDTH, height);
    if (img == nullptr) {
        return nullptr;
    }
    gdImageAlphaBlending(img, 0);
    gdImageSaveAlpha(img, 1);
    const int white = gdImageColorAllocate(img, 255, 255, 255);
    const int black = gdImageColorAllocate(img, 0, 0, 0);
    gdImageFilledRectangle(img, 0, 0, LGT_LEGEND_WIDTH - 1, height - 1,
                           gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    const std::string colourFile = lgtColourFile(szP_type);
    TablePtr table(fnReadColorTable(colourFile.c_str()));
    if (table == nullptr) {
        return img;
    }
    int echo[CGI_MAX_ECHO_COLOR] = {};
    int disp[CGI_EN_DISP_COLOR_MAX] = {};
    fnAllocColorTbl(img, table.get(), echo, disp);
    const int levels = std::min(table->m_iEchoColorCnt, LGT_LEGEND_LEVELS);
    const int text = same(szP_type, "LGTVWORLD") ? black : white;
    const std::string font = lgtFont("gulim.ttc");

    // The unit label; its height (two lines, for the line break) places the labels below.
    int box[8] = {};
    int th = 0;
    if (drawText(img, font, kUnitPt, text, 1, 20, std::string(lgtUnitLabel(szP_type)) + "\n",
                 box)) {
        th = box[1] - box[7];
    }
    const int h = (height - LGT_LEGEND_TOP) / LGT_LEGEND_LEVELS;
    for (int k = 0; k < LGT_LEGEND_LEVELS; ++k) {
        const int level = LGT_LEGEND_LEVELS - 1 - k;
        if (level < levels) {
            gdImageFilledRectangle(img, 0, LGT_LEGEND_TOP + k * h, kBoxRight,
                                   LGT_LEGEND_TOP + (k + 1) * h, echo[level]);
        }
    }
    gdImageRectangle(img, 0, LGT_LEGEND_TOP, kBoxRight, LGT_LEGEND_TOP + LGT_LEGEND_LEVELS * h,
                     black);

    struct tm end = {};
    if (isTimeProduct(szP_type) && lgt_text::parseTime(szEndTime, &end)) {
        for (int k = 0; k <= LGT_LEGEND_LEVELS; ++k) {
            const struct tm t = fnGetIncMin(end, -k * nLgt_intv);
            char label[32];
            std::snprintf(label, sizeof label, "%02d.%02d\n%02d:%02d", t.tm_mon + 1, t.tm_mday,
                          t.tm_hour, t.tm_min);
            const int y = k == 0                  ? th + 25
                          : k < LGT_LEGEND_LEVELS ? LGT_LEGEND_TOP + k * h + th / 2 - 5
                                                  : LGT_LEGEND_TOP + k * h - th / 2 - 12;
            drawText(img, font, kLabelPt, text, kLabelX, y, label, box);
        }
    } else if (same(szP_type, "LGTINTN")) {
        for (int k = 1; k <= LGT_LEGEND_LEVELS; ++k) {
            const int level = LGT_LEGEND_LEVELS - k;
            if (level >= levels) {
                continue;
            }
            char label[32];
            std::snprintf(label, sizeof label, "%3d",
                          thresholdLabel(table->m_echoColorTbl[level].m_fRain));
            const int y = k < LGT_LEGEND_LEVELS ? LGT_LEGEND_TOP + k * h + th / 2
                                                : LGT_LEGEND_TOP + k * h - th / 2;
            drawText(img, font, kLabelPt, white, kLabelX, y, label, box);
        }
    }
    return img;
}

int fnCreateLevelColorImg(const char* szP_type, int nImgYdim, const char* szEndTime,
                          int nLgt_intv) {
    rdr::GdImageHandle img(lgtLegendImage(szP_type, nImgYdim, szEndTime, nLgt_intv));
    cgiWritePngAnswer(img.get(), stdout);
    std::fflush(stdout);
    gdFontCacheShutdown();
    return 0;
}
