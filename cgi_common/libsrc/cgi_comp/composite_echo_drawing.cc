#include "composite_echo_drawing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "internal/composite_storm_cells.h"

namespace {

bool same(const char* a, const char* b) {
    return a != nullptr && std::strcmp(a, b) == 0;
}

int kindByUnit(const char* szUnit) {
    return same(szUnit, "CZ") || same(szUnit, "DZ") ? CGI_EN_COLOR_UNIT : CGI_EN_COLOR_RAIN;
}

// Echo tops are heights, read against the unit column; VIL against the rain column.
int kindByProduct(const char* szP_type, const char* szUnit) {
    if (same(szP_type, "ETOP")) {
        return CGI_EN_COLOR_UNIT;
    }
    if (same(szP_type, "VIL")) {
        return CGI_EN_COLOR_RAIN;
    }
    return kindByUnit(szUnit);
}

// Minimum tests of fnGetColorLevel against 0.
constexpr int kFromZero = 0;   // values below 0 rejected
constexpr int kAboveZero = 1;  // values at or below 0 rejected

bool validArgs(int nImgXdim, int nImgYdim, float** pImgData, gdImagePtr pImg, const int* rgnColor,
               const CGI_COLOR_TBL* pColor_ini) {
    return nImgXdim > 0 && nImgYdim > 0 && pImgData != nullptr && pImg != nullptr &&
           rgnColor != nullptr && pColor_ini != nullptr;
}

// The level of a value, or -1 when it is not drawn.
int levelOf(float v, CGI_COLOR_TBL* pTable, int kind, int minTest) {
    const int level = fnGetColorLevel(v, pTable, kind, 0.0f, minTest, 0);
    const int count = std::min(pTable->m_iEchoColorCnt, CGI_MAX_ECHO_COLOR);
    return level >= 0 && level < count ? level : -1;
}

int paintPlain(int nImgXdim, int nImgYdim, float** pImgData, gdImagePtr pImg, int* rgnColor,
               CGI_COLOR_TBL* pTable, int kind, int minTest) {
    if (!validArgs(nImgXdim, nImgYdim, pImgData, pImg, rgnColor, pTable)) {
        return -1;
    }
    for (int i = 0; i < nImgYdim; ++i) {
        const float* row = pImgData[i];
        for (int j = 0; j < nImgXdim; ++j) {
            const int level = levelOf(row[j], pTable, kind, minTest);
            if (level >= 0) {
                gdImageSetPixel(pImg, j, i, rgnColor[level]);
            }
        }
    }
    return 0;
}

// The shadow of a level colour: 30 darker in each component, opaque. A full palette gives
// the closest colour it holds.
int shadowColour(gdImagePtr pImg, int colour) {
    if (!gdImageTrueColor(pImg) && (colour < 0 || colour >= gdMaxColors)) {
        return -1;
    }
    const int r = std::max(gdImageRed(pImg, colour) - 30, 0);
    const int g = std::max(gdImageGreen(pImg, colour) - 30, 0);
    const int b = std::max(gdImageBlue(pImg, colour) - 30, 0);
    const int shadow = gdImageColorAllocateAlpha(pImg, r, g, b, gdAlphaOpaque);
    return shadow >= 0 ? shadow : gdImageColorClosestAlpha(pImg, r, g, b, gdAlphaOpaque);
}

}  // namespace

int fnCompEchoDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                   float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    // VIL of 0 is a value (no liquid water in the column) and is drawn.
    const int minTest = same(szP_type, "VIL") ? kFromZero : kAboveZero;
    return paintPlain(nImgXdim, nImgYdim, pImgData, pImg, rgnColor, pColor_ini,
                      kindByProduct(szP_type, szUnit), minTest);
}

int fnCompCj3EchoDisp(int nImgXdim, int nImgYdim, const char* /*szP_type*/, const char* szUnit,
                      float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    return paintPlain(nImgXdim, nImgYdim, pImgData, pImg, rgnColor, pColor_ini, kindByUnit(szUnit),
                      kAboveZero);
}

int fnComp480EchoDisp(int nImgXdim, int nImgYdim, const char* szUnit, float** pImgData,
                      gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    return paintPlain(nImgXdim, nImgYdim, pImgData, pImg, rgnColor, pColor_ini, kindByUnit(szUnit),
                      kAboveZero);
}

int fnComp3dEchoDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                     float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    if (!validArgs(nImgXdim, nImgYdim, pImgData, pImg, rgnColor, pColor_ini)) {
        return -1;
    }
    const int kind = kindByProduct(szP_type, szUnit);
    const int levels = std::clamp(pColor_ini->m_iEchoColorCnt, 0, CGI_MAX_ECHO_COLOR);
    // Inner pixels bucketed by level, row-major inside each bucket: the passes from the
    // lowest level up then visit each pixel once.
    std::vector<std::uint32_t> count(static_cast<std::size_t>(levels) + 1, 0);
    std::vector<std::int16_t> levelAt;
    const int innerX = nImgXdim - 2;
    const int innerY = nImgYdim - 2;
    if (innerX <= 0 || innerY <= 0 || levels == 0) {
        return 0;
    }
    levelAt.resize(static_cast<std::size_t>(innerX) * static_cast<std::size_t>(innerY));
    std::size_t k = 0;
    for (int i = 1; i <= innerY; ++i) {
        for (int j = 1; j <= innerX; ++j, ++k) {
            const int level = levelOf(pImgData[i][j], pColor_ini, kind, kFromZero);
            levelAt[k] = static_cast<std::int16_t>(level);
            if (level >= 0) {
                ++count[static_cast<std::size_t>(level) + 1];
            }
        }
    }
    std::vector<std::uint32_t> start(count.size(), 0);
    for (std::size_t l = 1; l < count.size(); ++l) {
        start[l] = start[l - 1] + count[l];
    }
    std::vector<std::uint32_t> order(start.back());
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t p = 0; p < levelAt.size(); ++p) {
        if (levelAt[p] >= 0) {
            order[fill[static_cast<std::size_t>(levelAt[p])]++] = static_cast<std::uint32_t>(p);
        }
    }
    for (int level = 0; level < levels; ++level) {
        const std::uint32_t first = start[static_cast<std::size_t>(level)];
        const std::uint32_t last = start[static_cast<std::size_t>(level) + 1];
        if (first == last) {
            continue;
        }
        const int colour = rgnColor[level];
        // One shadow colour per level, not one per pixel: a palette would fill up.
        const int shadow = shadowColour(pImg, colour);
        for (std::uint32_t n = first; n < last; ++n) {
            const int j = 1 + static_cast<int>(order[n] % static_cast<std::uint32_t>(innerX));
            const int i = 1 + static_cast<int>(order[n] / static_cast<std::uint32_t>(innerX));
            gdImageSetPixel(pImg, j, i, colour);
            if (shadow >= 0) {
                gdImageSetPixel(pImg, j + 2, i + 2, shadow);
            }
        }
    }
    return 0;
}

int fnCompTitanDisp(int nImgXdim, int nImgYdim, const char* szUnit, float** pImgData,
                    gdImagePtr pImgTitan, int* rgnColorTitan, CGI_COLOR_TBL* pColor_ini) {
    if (!validArgs(nImgXdim, nImgYdim, pImgData, pImgTitan, rgnColorTitan, pColor_ini)) {
        return -1;
    }
    const std::vector<std::int32_t> labels = comp_storm::labelStormCells(
        pImgData, nImgXdim, nImgYdim, comp_storm::stormThreshold(szUnit));
    const std::vector<bool> kept = comp_storm::keptStormCells(labels, nImgXdim, nImgYdim);
    // Every kept pixel is drawn as the value 0: the image shows where the cells are, not how
    // strong they are.
    const int level = levelOf(0.0f, pColor_ini, kindByUnit(szUnit), kFromZero);
    if (level < 0 || std::find(kept.begin(), kept.end(), true) == kept.end()) {
        return 0;
    }
    const int colour = rgnColorTitan[level];
    std::size_t p = 0;
    for (int i = 0; i < nImgYdim; ++i) {
        for (int j = 0; j < nImgXdim; ++j, ++p) {
            const std::int32_t l = labels[p];
            if (l >= 0 && kept[static_cast<std::size_t>(l)]) {
                gdImageSetPixel(pImgTitan, j, i, colour);
            }
        }
    }
    return 0;
}
