#include "image_cells.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gdfonts.h>

#include "core_utilities.h"

namespace {

// Cells at or below this value count as no echo for the smoothing.
constexpr float kSmoothFloor = -50.0f;
// A cell code compares equal within this tolerance.
constexpr float kCodeTolerance = 1e-6f;
constexpr int kMaxRings = 1000000;
// Rings every 100 km of radius; a window too small for one of them gets the largest of
// these steps that still gives three rings.
constexpr float kRingStepKm = 100.0f;
constexpr float kSmallWindowRingStepsKm[] = {50.0f, 20.0f, 10.0f, 5.0f, 2.0f, 1.0f};
constexpr float kSmallestRingStepKm = 1.0f;
constexpr size_t kMinSmallWindowRings = 3;
// Ring labels sit inside each ring, this many pixels below its top and right of the centre.
constexpr int kRingLabelGap = 3;
// Largest margin of a site grid in pixels: keeps image position minus margin within int.
constexpr float kMaxPixelOffset = 1.0e9f;

// Source index of an image position, or -1 outside [0, iCells). The position is floored,
// not truncated: truncation would pull the pixels just before the data's first cell
// (-1 < p < 0) onto that cell and draw the grid one cell too wide.
inline int sourceIndex(float fPosition, int iCells) {
    if (!(fPosition >= 0.0f)) {
        return -1;
    }
    const float fIndex = std::floor(fPosition);
    return fIndex < static_cast<float>(iCells) ? static_cast<int>(fIndex) : -1;
}

// Source index of every image column (or row): pixels per cell fScale, first data pixel
// at iOffset.
std::vector<int> sourceIndices(int iPixels, int iOffset, float fScale, int iCells) {
    std::vector<int> indices(static_cast<size_t>(iPixels));
    for (int p = 0; p < iPixels; ++p) {
        indices[static_cast<size_t>(p)] =
            sourceIndex(static_cast<float>(p - iOffset) / fScale, iCells);
    }
    return indices;
}

float** resample(float** ppData, int iYdim, int iXdim, float fDataGridKm, int iWidth, int iHeight,
                 float fImgGridKm, int iOffset) {
    const float fScale = fDataGridKm / fImgGridKm;
    if (!(fScale > 0.0f) || !std::isfinite(fScale)) {
        return nullptr;
    }
    float** ppImg = fnMakeMatrix2D_F(iHeight, iWidth);
    if (ppImg == nullptr) {
        return nullptr;
    }
    const std::vector<int> columns = sourceIndices(iWidth, iOffset, fScale, iXdim);
    const std::vector<int> rows = sourceIndices(iHeight, iOffset, fScale, iYdim);
    for (int y = 0; y < iHeight; ++y) {
        float* pOut = ppImg[y];
        const int iRow = rows[static_cast<size_t>(y)];
        if (iRow < 0 || ppData[iRow] == nullptr) {
            for (int x = 0; x < iWidth; ++x) {
                pOut[x] = RDR_GRID_OUT_BOUND;
            }
            continue;
        }
        const float* pIn = ppData[iRow];
        for (int x = 0; x < iWidth; ++x) {
            const int iCol = columns[static_cast<size_t>(x)];
            pOut[x] = iCol < 0 ? RDR_GRID_OUT_BOUND : pIn[iCol];
        }
    }
    return ppImg;
}

bool usableGrid(float** ppData, int iYdim, int iXdim) {
    return ppData != nullptr && iYdim > 0 && iXdim > 0;
}

// One smoothing pass over n values spaced iStride apart. Each output uses the unsmoothed
// left neighbour, kept in fLeft, so that no second buffer is needed.
void smoothLine(float* pFirst, int n, long iStride) {
    if (n < 3) {
        return;
    }
    float fLeft = pFirst[0];
    for (int i = 1; i < n - 1; ++i) {
        float& fCentre = pFirst[i * iStride];
        const float fRight = pFirst[(i + 1) * iStride];
        const float fOld = fCentre;
        if (fLeft > kSmoothFloor && fRight > kSmoothFloor) {
            if (fCentre > kSmoothFloor) {
                fCentre = (fLeft + 2.0f * fCentre + fRight) * 0.25f;
            } else {
                fCentre = (fLeft + fRight) * 0.5f;
            }
        }
        fLeft = fOld;
    }
}

inline void paint(gdImagePtr pImg, int x, int y, int iColor) {
    if (pImg->trueColor) {
        pImg->tpixels[y][x] = iColor;
    } else {
        pImg->pixels[y][x] = static_cast<unsigned char>(iColor);
    }
}

// Diameters in pixels of the rings every fStepKm of radius that fit the image. The step
// as a diameter, q = 2 / fImgGridKm x fStepKm, is added to the truncated previous diameter.
std::vector<int> ringDiameters(int iWidth, int iHeight, float fImgGridKm, float fStepKm) {
    std::vector<int> diameters;
    const float fStep = 2.0f / fImgGridKm * fStepKm;
    if (!(fStep >= 1.0f) || !std::isfinite(fStep)) {
        return diameters;  // rings closer than a pixel apart would only paint the panel over
    }
    const int iLimit = std::min(iWidth, iHeight);
    if (fStep >= static_cast<float>(iLimit) + 1.0f) {
        return diameters;  // not even the first ring fits (and the step may not fit an int)
    }
    int iDiameter = static_cast<int>(fStep);
    for (int n = 0; iDiameter <= iLimit && n < kMaxRings; ++n) {
        diameters.push_back(iDiameter);
        iDiameter = static_cast<int>(static_cast<float>(iDiameter) + fStep);
    }
    return diameters;
}

}  // namespace

float** fnMakeSiteImageData(float** ppData, int iYdim, int iXdim, float fDataGridKm, int iWidth,
                            int iHeight, float fImgGridKm) {
    if (!usableGrid(ppData, iYdim, iXdim) || iWidth <= 0 || iWidth != iHeight) {
        return nullptr;
    }
    const float fScale = fDataGridKm / fImgGridKm;
    const float fOffset = (iWidth - iXdim * fScale) * 0.5f;
    // Cells so large (or small) that the margin is no pixel position cannot be placed.
    if (!(std::fabs(fOffset) <= kMaxPixelOffset)) {
        return nullptr;
    }
    const int iOffset = static_cast<int>(fOffset);
    return resample(ppData, iYdim, iXdim, fDataGridKm, iWidth, iHeight, fImgGridKm, iOffset);
}

float** fnMakeCompImageData(char* /*szImgKind*/, float** ppData, int iYdim, int iXdim,
                            float fDataGridKm, int iWidth, int iHeight, float fImgGridKm) {
    if (!usableGrid(ppData, iYdim, iXdim) || iWidth <= 0 || iHeight <= 0) {
        return nullptr;
    }
    return resample(ppData, iYdim, iXdim, fDataGridKm, iWidth, iHeight, fImgGridKm, 0);
}

int fnVyqCmpSmooth(float** ppData, int iYdim, int iXdim, int iSmoothNum) {
    if (ppData == nullptr) {
        return 0;
    }
    if (iYdim <= 0 || iXdim <= 0) {
        return 1;
    }
    std::vector<float> column(static_cast<size_t>(iYdim));
    for (int pass = 0; pass < iSmoothNum; ++pass) {
        for (int y = 0; y < iYdim; ++y) {
            smoothLine(ppData[y], iXdim, 1);
        }
        if (iYdim < 3) {
            continue;
        }
        // Rows are separate allocations: gather each column, smooth it, scatter it back.
        for (int x = 0; x < iXdim; ++x) {
            for (int y = 0; y < iYdim; ++y) {
                column[static_cast<size_t>(y)] = ppData[y][x];
            }
            smoothLine(column.data(), iYdim, 1);
            for (int y = 1; y < iYdim - 1; ++y) {
                ppData[y][x] = column[static_cast<size_t>(y)];
            }
        }
    }
    return 1;
}

int fnCompSmooth(float** ppData, int iYdim, int iXdim) {
    if (ppData == nullptr) {
        return 0;
    }
    if (iYdim <= 2 || iXdim <= 2) {
        return 1;
    }
    float window[9];
    for (int y = 1; y < iYdim - 1; ++y) {
        for (int x = 1; x < iXdim - 1; ++x) {
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    // Insertion sort while gathering: nine values, no allocation.
                    const float v = ppData[y + dy][x + dx];
                    int i = n++;
                    while (i > 0 && window[i - 1] > v) {
                        window[i] = window[i - 1];
                        --i;
                    }
                    window[i] = v;
                }
            }
            ppData[y][x] = window[4];
        }
    }
    return 1;
}

int fnDbzToRainrate(float** ppData, int iYdim, int iXdim, int /*iUnit*/) {
    if (ppData == nullptr) {
        return 0;
    }
    for (int y = 0; y < iYdim; ++y) {
        float* pRow = ppData[y];
        for (int x = 0; x < iXdim; ++x) {
            const float v = pRow[x];
            if (std::fabs(v - RDR_GRID_NO_DATA) <= kCodeTolerance ||
                std::fabs(v - RDR_GRID_OUT_BOUND) <= kCodeTolerance) {
                continue;
            }
            pRow[x] =
                v <= 0.0f ? RDR_GRID_NO_DATA : static_cast<float>(fnDbzToRainF(v, 200.0f, 1.6f));
        }
    }
    return 1;
}

int fnDrawRadarImgBound(gdImagePtr pImg, float** ppImgData, int iWidth, int iHeight,
                        float fOutBound, int iInBoundColor, int iOutBoundColor) {
    if (pImg == nullptr || ppImgData == nullptr) {
        return 0;
    }
    const int w = std::min(iWidth, gdImageSX(pImg));
    const int h = std::min(iHeight, gdImageSY(pImg));
    for (int y = 0; y < h; ++y) {
        const float* pRow = ppImgData[y];
        for (int x = 0; x < w; ++x) {
            paint(pImg, x, y, pRow[x] == fOutBound ? iOutBoundColor : iInBoundColor);
        }
    }
    return 1;
}

int fnDrawRadarEcho(gdImagePtr pImg, float** ppImgData, int iWidth, int iHeight,
                    RDR_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue, int iMinDiffType,
                    int iEchoDiffType, int* echoColorBar) {
    if (pImg == nullptr || ppImgData == nullptr || pColorTbl == nullptr ||
        echoColorBar == nullptr) {
        return 0;
    }
    const int w = std::min(iWidth, gdImageSX(pImg));
    const int h = std::min(iHeight, gdImageSY(pImg));
    const int iLevels = pColorTbl->m_iEchoColorCnt;
    // Neighbouring pixels mostly repeat one grid cell: remember the last lookup.
    float fLastValue = std::nanf("");
    int iLastLevel = -1;
    for (int y = 0; y < h; ++y) {
        const float* pRow = ppImgData[y];
        for (int x = 0; x < w; ++x) {
            const float v = pRow[x];
            if (!(v == fLastValue)) {
                fLastValue = v;
                iLastLevel = fnGetColorLevel(v, pColorTbl, iColorKind, fMinValue, iMinDiffType,
                                             iEchoDiffType);
            }
            if (iLastLevel >= 0 && iLastLevel < iLevels) {
                paint(pImg, x, y, echoColorBar[iLastLevel]);
            }
        }
    }
    return 1;
}

float fnGetSiteRingStepKm(int iWidth, int iHeight, float fImgGridKm) {
    if (!ringDiameters(iWidth, iHeight, fImgGridKm, kRingStepKm).empty()) {
        return kRingStepKm;
    }
    for (const float fStepKm : kSmallWindowRingStepsKm) {
        const size_t nRings = ringDiameters(iWidth, iHeight, fImgGridKm, fStepKm).size();
        if (nRings >= kMinSmallWindowRings || (nRings > 0 && fStepKm == kSmallestRingStepKm)) {
            return fStepKm;
        }
    }
    return 0.0f;
}

int fnDrawSiteImgRing(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm, int iLineColor) {
    if (pImg == nullptr) {
        return 0;
    }
    const float fStepKm = fnGetSiteRingStepKm(iWidth, iHeight, fImgGridKm);
    for (const int iDiameter : ringDiameters(iWidth, iHeight, fImgGridKm, fStepKm)) {
        gdImageArc(pImg, iWidth / 2, iHeight / 2, iDiameter, iDiameter, 0, 360, iLineColor);
    }
    return 1;
}

int fnDrawSiteImgRingLabels(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                            int iTextColor) {
    if (pImg == nullptr) {
        return 0;
    }
    const float fStepKm = fnGetSiteRingStepKm(iWidth, iHeight, fImgGridKm);
    gdFontPtr pFont = gdFontGetSmall();
    int iPrevTop = iHeight;  // top of the label of the next ring inwards
    int k = 0;
    for (const int iDiameter : ringDiameters(iWidth, iHeight, fImgGridKm, fStepKm)) {
        ++k;
        const int iTop = iHeight / 2 - iDiameter / 2 + kRingLabelGap;
        if (iTop + pFont->h > iPrevTop) {
            continue;  // rings closer than a line of text: every other ring keeps its label
        }
        char szLabel[32];
        std::snprintf(szLabel, sizeof szLabel, "%d km", static_cast<int>(fStepKm) * k);
        gdImageString(pImg, pFont, iWidth / 2 + kRingLabelGap, iTop,
                      reinterpret_cast<unsigned char*>(szLabel), iTextColor);
        iPrevTop = iTop;
    }
    return 1;
}

int fnDrawSiteImgDirection(gdImagePtr pImg, int iWidth, int iHeight, int iLineColor) {
    if (pImg == nullptr) {
        return 0;
    }
    gdImageLine(pImg, 0, 0, iWidth - 1, iHeight - 1, iLineColor);
    gdImageLine(pImg, iWidth - 1, 0, 0, iHeight - 1, iLineColor);
    gdImageLine(pImg, iWidth / 2, 0, iWidth / 2, iHeight - 1, iLineColor);
    gdImageLine(pImg, 0, iHeight / 2, iWidth - 1, iHeight / 2, iLineColor);
    return 1;
}

float fnGetRadarValue(float** ppData, int iYdim, int iXdim, int iDiff_x, int iDiff_y, int iYPoint,
                      int iXPoint, float fXGridScale, float fYGridScale) {
    if (!usableGrid(ppData, iYdim, iXdim) || !(fXGridScale > 0.0f) || !(fYGridScale > 0.0f)) {
        return RDR_GRID_OUT_BOUND;
    }
    const int iCol = sourceIndex(static_cast<float>(iXPoint - iDiff_x) / fXGridScale, iXdim);
    const int iRow = sourceIndex(static_cast<float>(iYPoint - iDiff_y) / fYGridScale, iYdim);
    if (iCol < 0 || iRow < 0 || ppData[iRow] == nullptr) {
        return RDR_GRID_OUT_BOUND;
    }
    return ppData[iRow][iCol];
}
