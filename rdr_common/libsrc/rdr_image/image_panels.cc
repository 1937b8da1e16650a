#include "internal/image_panels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include <gdfonts.h>

#include "atomic_file.h"
#include "product_image_maker.h"

namespace rdr_image_panels {

namespace {

constexpr int kJpegQuality = 100;
constexpr int kColourBarBoxRight = 10;
constexpr int kColourBarLabelX = 15;

// fnDispColorBarBox: the highest level on top, each box h = Y / n pixels tall.
void drawColourBarBoxes(gdImagePtr pImg, int iHeight, int n, const int* echoColorBar, int iBlack) {
    const float h = static_cast<float>(iHeight) / static_cast<float>(n);
    for (int k = 0; k < n - 1; ++k) {
        const int y0 = static_cast<int>(static_cast<float>(k) * h);
        const int y1 = static_cast<int>(static_cast<float>(y0) + h);
        gdImageFilledRectangle(pImg, 0, y0, kColourBarBoxRight, y1, echoColorBar[n - 1 - k]);
    }
    const int yLast = static_cast<int>(static_cast<float>(n - 1) * h);
    gdImageFilledRectangle(pImg, 0, yLast, kColourBarBoxRight, iHeight, echoColorBar[0]);
    gdImageRectangle(pImg, 0, 0, kColourBarBoxRight, iHeight - 1, iBlack);
}

// fnDispColorBarStr: each threshold on the border between the two boxes it separates.
void drawColourBarLabels(gdImagePtr pImg, const RDR_DISP_INFO_TBL& disp, const char* szProduct,
                         const RDR_COLOR_TBL& colours, int iHeight, int n, int iBlack) {
    gdFontPtr pFont = gdFontGetSmall();
    const float h = static_cast<float>(iHeight) / static_cast<float>(n);
    const bool bRainColumn = disp.m_iColorKind == RDR_EN_COLOR_RAIN;
    const bool bStepFormat =
        bRainColumn || (szProduct != nullptr && std::strcmp(szProduct, "ETOP") == 0);
    for (int i = n - 2, g = 0; i >= 0; --i, ++g) {
        const RDR_COLOR_INFO& entry = colours.m_echoColorTbl[i];
        const float fValue = bRainColumn ? entry.m_fRain : entry.m_fUnit;
        char szLabel[64];
        if (bStepFormat) {
            // The step between the two formats always looks at the rain column.
            std::snprintf(szLabel, sizeof szLabel, entry.m_fRain >= 10.0f ? "%.0f" : "%.1f",
                          fValue);
        } else {
            std::snprintf(szLabel, sizeof szLabel, disp.m_szDispFormat, fValue);
        }
        szLabel[kLabelMax] = '\0';
        const float fY = static_cast<float>(static_cast<int>(static_cast<float>(g) * h)) + h -
                         static_cast<float>(pFont->h / 2);
        gdImageString(pImg, pFont, kColourBarLabelX, static_cast<int>(fY),
                      reinterpret_cast<unsigned char*>(szLabel), iBlack);
    }
}

// GIF holds at most 256 colours. The panels use far fewer, and then every colour keeps its
// own palette entry. Resampling and antialiased text can add shades beyond that: the most
// frequent colours (echo levels, backgrounds) get the entries and each rarer shade falls
// back to the closest of them.
Image toPalette(gdImagePtr pTrue) {
    const int w = gdImageSX(pTrue), h = gdImageSY(pTrue);
    Image pal(gdImageCreate(w, h));
    if (!pal) {
        return nullptr;
    }
    std::unordered_map<int, long> counts;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ++counts[gdImageTrueColorPixel(pTrue, x, y) & 0xFFFFFF];
        }
    }
    std::vector<std::pair<long, int>> byCount;
    byCount.reserve(counts.size());
    for (const auto& [colour, n] : counts) {
        byCount.emplace_back(n, colour);
    }
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::unordered_map<int, int> index;
    for (const auto& [n, c] : byCount) {
        const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        int i = gdImageColorAllocate(pal.get(), r, g, b);
        if (i < 0) {
            i = gdImageColorClosest(pal.get(), r, g, b);
        }
        index.emplace(c, i);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            pal->pixels[y][x] =
                static_cast<unsigned char>(index[gdImageTrueColorPixel(pTrue, x, y) & 0xFFFFFF]);
        }
    }
    return pal;
}

struct GdFreeDeleter {
    void operator()(void* p) const { gdFree(p); }
};

}  // namespace

void drawColourBar(gdImagePtr pImg, int iHeight, const int* echoColorBar,
                   const RDR_COLOR_TBL& colours, const RDR_DISP_INFO_TBL& disp,
                   const char* szProduct) {
    const int iBlack = gdImageColorAllocate(pImg, 0, 0, 0);
    const int n = colours.m_iEchoColorCnt;
    if (n > 0) {
        drawColourBarBoxes(pImg, iHeight, n, echoColorBar, iBlack);
        drawColourBarLabels(pImg, disp, szProduct, colours, iHeight, n, iBlack);
    }
}

// fnSaveImg. The type is checked before any file is touched, and the image replaces the
// target atomically: a failed save never leaves an empty or truncated image behind. False
// with the reason in *pWhy when the file could not be written.
bool saveImage(gdImagePtr pImg, int iType, const char* szOutFile, std::string* pWhy) {
    if (iType != RDR_EN_IMG_TYPE_PNG && iType != RDR_EN_IMG_TYPE_GIF &&
        iType != RDR_EN_IMG_TYPE_JPEG) {
        return false;
    }
    int iSize = 0;
    std::unique_ptr<void, GdFreeDeleter> bytes;
    if (iType == RDR_EN_IMG_TYPE_PNG) {
        bytes.reset(gdImagePngPtr(pImg, &iSize));
    } else if (iType == RDR_EN_IMG_TYPE_JPEG) {
        bytes.reset(gdImageJpegPtr(pImg, &iSize, kJpegQuality));
    } else {
        Image pal = pImg->trueColor ? toPalette(pImg) : nullptr;
        if (pImg->trueColor && !pal) {
            return false;
        }
        bytes.reset(gdImageGifPtr(pal ? pal.get() : pImg, &iSize));
    }
    if (!bytes || iSize <= 0) {
        return false;
    }
    return writeFileAtomically(szOutFile, bytes.get(), static_cast<size_t>(iSize), pWhy);
}

}  // namespace rdr_image_panels
