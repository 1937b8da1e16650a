#include "product_image_maker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <gdfonts.h>

#include "colour_tables.h"
#include "core_utilities.h"
#include "image_cells.h"
#include "image_overlays.h"
#include "info_tables.h"
#include "internal/image_panels.h"
#include "rdr_root.h"
#include "site_graticule.h"

namespace {

constexpr double kTitlePt = 12.0;
constexpr double kUnitPt = 10.0;

PRODUCT_IMAGE_STAGE_TIMES* g_pStageTimes = nullptr;

// Adds the time from construction to destruction to one stage of the installed record.
class StageTimer {
  public:
    explicit StageTimer(double PRODUCT_IMAGE_STAGE_TIMES::*pStage)
        : pStage_(pStage), start_(std::chrono::steady_clock::now()) {}
    ~StageTimer() {
        if (g_pStageTimes != nullptr) {
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start_;
            g_pStageTimes->*pStage_ += d.count();
        }
    }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

  private:
    double PRODUCT_IMAGE_STAGE_TIMES::*pStage_;
    std::chrono::steady_clock::time_point start_;
};

using rdr_image_panels::Image;
using rdr_image_panels::kLabelMax;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using ColourTable = std::unique_ptr<RDR_COLOR_TBL, FreeDeleter>;

// A float grid from the product or the image-data functions, released with its row count.
class Grid {
  public:
    Grid(float** ppData, int iRows) : ppData_(ppData), iRows_(iRows) {}
    ~Grid() {
        if (ppData_ != nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(ppData_), iRows_);
        }
    }
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;
    float** get() const { return ppData_; }

  private:
    float** ppData_;
    int iRows_;
};

Image newTrueColour(int iWidth, int iHeight) {
    if (iWidth <= 0 || iHeight <= 0) {
        return nullptr;
    }
    return Image(gdImageCreateTrueColor(iWidth, iHeight));
}

// The title, colour-bar and bottom strips start as white true-colour panels.
Image newWhitePanel(int iWidth, int iHeight) {
    Image panel = newTrueColour(iWidth, iHeight);
    if (panel) {
        gdImageFilledRectangle(panel.get(), 0, 0, iWidth - 1, iHeight - 1,
                               gdImageColorAllocate(panel.get(), 255, 255, 255));
    }
    return panel;
}

// Which dataset of the product family an image shows.
struct DatasetChoice {
    bool bByArg;
    double dArg1;
    double dArg2;
    int iIdx;
};

// Everything one image call works with, gathered before the panels are drawn.
struct ImageJob {
    const char* szFunction;
    bool bSite;
    const char* szImgKind;
    const char* szSiteCode;
    const char* szQcStr;
    STD_PRODUCT* pProduct;
    const char* szProduct;
    DatasetChoice choice;
    const char* szFieldName;
    PRODUCT_IMAGE_MAKER_OPTION option;
    const char* szOutFile;

    int iDbzToRain = 0;
    int iUnit = RDR_EN_UNIT_DEFAULT;
    RDR_IMG_INFO_TBL img{};
    RDR_DISP_INFO_TBL disp{};
};

bool isOneOf(const char* sz, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (std::strcmp(sz, n) == 0) {
            return true;
        }
    }
    return false;
}

// fnGetSiteImgComment
std::string siteTitle(const ImageJob& job, const std::string& when) {
    char sz[256] = "";
    const bool bProfile = isOneOf(job.szProduct, {"PPI", "CAPPI", "BASE", "CMAX"});
    const char* szSite = job.szSiteCode != nullptr ? job.szSiteCode : "";
    if ((bProfile && job.iUnit == 1) || std::strcmp(job.szProduct, "VIL") == 0) {
        std::snprintf(sz, sizeof sz, "%s Radar %s(Rain) %s", szSite, job.szProduct, when.c_str());
    } else if (bProfile || std::strcmp(job.szProduct, "ETOP") == 0) {
        std::snprintf(sz, sizeof sz, "%s Radar %s(%s) %s", szSite, job.szProduct,
                      job.disp.m_szFieldName, when.c_str());
    }
    return sz;
}

// fnGetCompImgComment
std::string compTitle(const ImageJob& job, const std::string& when) {
    char sz[256] = "";
    const char* szKind = job.szImgKind;
    if (std::strcmp(szKind, "COMP_240") == 0) {
        if (isOneOf(job.szProduct, {"PPI", "CAPPI", "BASE", "CMAX"})) {
            std::snprintf(sz, sizeof sz, "%s(%s) %s Rain Rate", job.szProduct, job.szQcStr,
                          when.c_str());
        } else if (isOneOf(job.szProduct, {"VIL", "ETOP"})) {
            std::snprintf(sz, sizeof sz, "%s(%s) %s", job.szProduct, job.szQcStr, when.c_str());
        }
    } else if (std::strcmp(szKind, "COMP_480") == 0) {
        std::snprintf(sz, sizeof sz, "PPI0 480km Rainrate %s", when.c_str());
    } else if (std::strcmp(szKind, "COMP_KCJ") == 0) {
        std::snprintf(sz, sizeof sz, "PPI0 %s %s Rainrate", job.szQcStr, when.c_str());
    }
    return sz;
}

std::string fontPath(const char* szFont) {
    return rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/font/" + szFont;
}

void drawTtf(gdImagePtr pImg, int iColour, const std::string& font, double dPt, int x, int y,
             const std::string& text) {
    if (text.empty()) {
        return;
    }
    int brect[8];
    std::string mutableFont = font;
    std::string mutableText = text;
    gdImageStringTTF(pImg, brect, iColour, mutableFont.data(), dPt, 0.0, x, y, mutableText.data());
}

// fnMakeSiteImageTop / fnMakeCompImageTop
Image makeTop(const ImageJob& job, const RDR_COLOR_TBL& colours) {
    if (!job.bSite && job.szQcStr == nullptr) {
        return nullptr;
    }
    const int iWidth = job.img.m_iImgXdim + job.img.m_iRightWidth;
    const int iHeight = job.img.m_iTopHeight;
    Image top = newWhitePanel(iWidth, iHeight);
    if (!top) {
        return nullptr;
    }
    const int iBlack = gdImageColorAllocate(top.get(), 0, 0, 0);

    const bool bOtherZone = job.option.m_szTitleZone[0] != '\0';
    std::string zone = "KST";
    if (bOtherZone) {
        // The name goes into a time format: a '%' in it is doubled, never a conversion.
        zone.clear();
        for (size_t i = 0; i < sizeof job.option.m_szTitleZone && job.option.m_szTitleZone[i];
             ++i) {
            zone += job.option.m_szTitleZone[i];
            if (job.option.m_szTitleZone[i] == '%') {
                zone += '%';
            }
        }
    }
    const std::string when = formatStoredTime(job.pProduct->m_product_hdr.m_tConvertTime +
                                                  (bOtherZone ? job.option.m_iTitleOffsetSec : 0),
                                              ("%Y.%m.%d. %H:%M(" + zone + ")").c_str());
    const std::string title = job.bSite ? siteTitle(job, when) : compTitle(job, when);
    const std::string font = fontPath("NanumGothic.ttf");
    drawTtf(top.get(), iBlack, font, kTitlePt, 0, iHeight - 8, title);

    const char* szUnit = job.disp.m_iColorKind == RDR_EN_COLOR_UNIT   ? colours.m_szUnitTitle
                         : job.disp.m_iColorKind == RDR_EN_COLOR_RAIN ? colours.m_szRainTitle
                                                                      : "";
    std::string unit(szUnit, strnlen(szUnit, sizeof colours.m_szUnitTitle));
    unit.resize(std::min<size_t>(unit.size(), kLabelMax));
    drawTtf(top.get(), iBlack, font, kUnitPt, iWidth - 50, iHeight - 8, unit);
    return top;
}

// fnMakeSiteImageRight / fnMakeCompImageRight
Image makeRight(const ImageJob& job, RDR_COLOR_TBL& colours) {
    const int iWidth = job.img.m_iRightWidth;
    const int iHeight = job.img.m_iImgYdim;
    Image right = newWhitePanel(iWidth, iHeight);
    if (!right) {
        return nullptr;
    }
    int echoColorBar[RDR_MAX_ECHO_COLOR];
    int dispColorBar[RDR_EN_DISP_COLOR_MAX];
    if (fnAllocColorTbl(right.get(), &colours, echoColorBar, dispColorBar) != 1) {
        return nullptr;
    }
    rdr_image_panels::drawColourBar(right.get(), iHeight, echoColorBar, colours, job.disp,
                                    job.szProduct);
    return right;
}

// fnMakeSiteImageBottom
Image makeBottom(const ImageJob& job, double dArg1) {
    const int iWidth = job.img.m_iImgXdim + job.img.m_iRightWidth;
    const int iHeight = job.img.m_iBottomHeight;
    Image bottom = newWhitePanel(iWidth, iHeight);
    if (!bottom) {
        return nullptr;
    }
    const int iBlack = gdImageColorAllocate(bottom.get(), 0, 0, 0);
    gdImageRectangle(bottom.get(), 0, 0, job.img.m_iImgXdim + 10, iHeight - 1, iBlack);

    char szArg[64] = "";
    if (std::strcmp(job.szProduct, "PPI") == 0) {
        std::snprintf(szArg, sizeof szArg, "Elevation:%.2f", dArg1);
    } else if (std::strcmp(job.szProduct, "CAPPI") == 0) {
        std::snprintf(szArg, sizeof szArg, "Height:%.1f", dArg1);
    }
    char szNyquist[64] = "";
    if (std::strcmp(job.disp.m_szFieldName, "VR") == 0) {
        std::snprintf(szNyquist, sizeof szNyquist, "Nyq.Vel:%.2fm/s",
                      job.pProduct->m_product_hdr.m_dNi);
    }
    char szLine[160];
    std::snprintf(szLine, sizeof szLine, "%s %s %s", szArg, szNyquist, "");
    gdImageString(bottom.get(), gdFontGetSmall(), 10, 2, reinterpret_cast<unsigned char*>(szLine),
                  iBlack);
    return bottom;
}

// Coverage and echo colours of an image grid (both echo panels).
void paintEcho(gdImagePtr pImg, float** ppImgData, const ImageJob& job, RDR_COLOR_TBL& colours,
               int* echoColorBar, const int* dispColorBar) {
    const int X = job.img.m_iImgXdim, Y = job.img.m_iImgYdim;
    fnDrawRadarImgBound(pImg, ppImgData, X, Y, RDR_GRID_OUT_BOUND,
                        dispColorBar[RDR_EN_IN_BOUND_COLOR], dispColorBar[RDR_EN_OUT_BOUND_COLOR]);
    fnDrawRadarEcho(pImg, ppImgData, X, Y, &colours, job.disp.m_iColorKind, job.disp.m_fMinValue,
                    job.img.m_iMinDiffType, job.img.m_iEchoDIffType, echoColorBar);
}

// fnMakeSiteImageEcho
Image makeSiteEcho(const ImageJob& job, float** ppData, RDR_COLOR_TBL& colours) {
    const STD_PRODUCT_HDR& hdr = job.pProduct->m_product_hdr;
    const int X = job.img.m_iImgXdim, Y = job.img.m_iImgYdim;
    const int iRows = static_cast<int>(hdr.m_lYsize), iCols = static_cast<int>(hdr.m_lXsize);
    const float fDataGridKm = static_cast<float>(hdr.m_dXscale);
    Image echo = newTrueColour(X, Y);
    if (!echo) {
        return nullptr;
    }
    int echoColorBar[RDR_MAX_ECHO_COLOR];
    int dispColorBar[RDR_EN_DISP_COLOR_MAX];
    if (fnAllocColorTbl(echo.get(), &colours, echoColorBar, dispColorBar) != 1) {
        return nullptr;
    }
    // The whole data must fit the panel width; a fixed grid size only when it does.
    float fImgGridKm = static_cast<float>(job.img.m_iImgGridKm);
    const float fDataExtentKm = static_cast<float>(iRows) * fDataGridKm;
    if (fDataExtentKm > fImgGridKm * static_cast<float>(X) || job.img.m_iImgGridKm == 0) {
        fImgGridKm = fDataExtentKm / static_cast<float>(X);
    }
    {
        StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dImageData);
        Grid image(fnMakeSiteImageData(ppData, iRows, iCols, fDataGridKm, X, Y, fImgGridKm), Y);
        if (image.get() == nullptr) {
            return nullptr;
        }
        fnVyqCmpSmooth(image.get(), Y, X, job.option.m_iSmoothNum);
        if (std::strcmp(job.disp.m_szFieldName, "RN") == 0 && job.iDbzToRain == 1) {
            fnDbzToRainrate(image.get(), Y, X, job.iUnit);
        }
        paintEcho(echo.get(), image.get(), job, colours, echoColorBar, dispColorBar);
    }
    StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dOverlays);
    const int iLine = dispColorBar[RDR_EN_LINE_COLOR];
    const float fLon = static_cast<float>(hdr.m_dLon), fLat = static_cast<float>(hdr.m_dLat);
    const float fXo = static_cast<float>(X / 2), fYo = static_cast<float>(Y / 2);
    if (fnDrawSiteImgMap(echo.get(), X, Y, fImgGridKm, fLon, fLat, fXo, fYo, iLine) == 0) {
        return nullptr;
    }
    // Without the world file only the national lines are drawn, as before it existed.
    fnDrawSiteImgWorldMap(echo.get(), X, Y, fImgGridKm, fLon, fLat, fXo, fYo, iLine);
    const int iText = dispColorBar[RDR_EN_FONT_COLOR];
    if (job.option.m_iDrawGraticule == 1) {
        fnDrawSiteImgGraticule(echo.get(), X, Y, fImgGridKm, fLon, fLat, fXo, fYo, iLine, iText);
    }
    if (job.option.m_iDrawRing == 1 || job.option.m_iDrawRing == 2) {
        fnDrawSiteImgRing(echo.get(), X, Y, fImgGridKm, iLine);
    }
    if (job.option.m_iDrawRing == 2) {
        fnDrawSiteImgRingLabels(echo.get(), X, Y, fImgGridKm, iText);
    }
    if (job.option.m_iDrawDirection == 1) {
        fnDrawSiteImgDirection(echo.get(), X, Y, iLine);
    }
    if (job.option.m_iDrawAws == 1 &&
        fnDrawSiteImgAws(echo.get(), X, Y, fImgGridKm, fLon, fLat, fXo, fYo,
                         dispColorBar[RDR_EN_AWS_COLOR], dispColorBar[RDR_EN_FONT_COLOR]) == 0) {
        return nullptr;
    }
    gdImageSetThickness(echo.get(), 1);
    gdImageRectangle(echo.get(), 0, 0, X, Y, gdImageColorAllocate(echo.get(), 0, 0, 0));
    return echo;
}

// fnMakeCompImageEcho
Image makeCompEcho(const ImageJob& job, float** ppData, RDR_COLOR_TBL& colours) {
    const STD_PRODUCT_HDR& hdr = job.pProduct->m_product_hdr;
    const int X = job.img.m_iImgXdim, Y = job.img.m_iImgYdim;
    const float fImgGridKm = static_cast<float>(job.img.m_iImgGridKm);
    Image echo = newTrueColour(X, Y);
    if (!echo) {
        return nullptr;
    }
    int echoColorBar[RDR_MAX_ECHO_COLOR];
    int dispColorBar[RDR_EN_DISP_COLOR_MAX];
    if (fnAllocColorTbl(echo.get(), &colours, echoColorBar, dispColorBar) != 1) {
        return nullptr;
    }
    {
        StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dImageData);
        Grid image(
            fnMakeCompImageData(const_cast<char*>(job.szImgKind), ppData,
                                static_cast<int>(hdr.m_lYsize), static_cast<int>(hdr.m_lXsize),
                                static_cast<float>(hdr.m_dXscale), X, Y, fImgGridKm),
            Y);
        if (image.get() == nullptr) {
            return nullptr;
        }
        if (std::strcmp(job.disp.m_szFieldName, "RN") == 0 && job.iDbzToRain == 1) {
            fnDbzToRainrate(image.get(), Y, X, job.iUnit);
        }
        paintEcho(echo.get(), image.get(), job, colours, echoColorBar, dispColorBar);
    }
    StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dOverlays);
    fnDrawCompImgMap(const_cast<char*>(job.szImgKind), echo.get(), X, Y, fImgGridKm,
                     static_cast<float>(job.img.m_iCompOrgX),
                     static_cast<float>(job.img.m_iCompOrgY), 0, 0,
                     dispColorBar[RDR_EN_LINE_COLOR]);
    gdImageRectangle(echo.get(), 0, 0, X, Y - 1, gdImageColorAllocate(echo.get(), 0, 0, 0));
    return echo;
}

// fnMergeSiteImg / fnMergeCompImg: panels in the order top, right, bottom, echo, then the
// optional resampling to the requested size.
Image merge(const ImageJob& job, gdImagePtr pTop, gdImagePtr pRight, gdImagePtr pBottom,
            gdImagePtr pEcho) {
    const int X = job.img.m_iImgXdim, Y = job.img.m_iImgYdim;
    const int R = job.img.m_iRightWidth, T = job.img.m_iTopHeight;
    const int B = pBottom != nullptr ? job.img.m_iBottomHeight : 0;
    Image back = newTrueColour(X + R, T + Y + B);
    if (!back) {
        return nullptr;
    }
    gdImageCopy(back.get(), pTop, 0, 0, 0, 0, X + R, T);
    gdImageCopy(back.get(), pRight, X, T, 0, 0, R, Y);
    if (pBottom != nullptr) {
        gdImageCopy(back.get(), pBottom, 0, T + Y, 0, 0, X + R, B);
    }
    gdImageCopy(back.get(), pEcho, 0, T, 0, 0, X, Y);

    const int iWidth = job.option.m_iImgWidth, iHeight = job.option.m_iImgHeight;
    if (iWidth > 0 && iHeight > 0) {
        Image sized = newTrueColour(iWidth, iHeight);
        if (!sized) {
            return nullptr;
        }
        gdImageCopyResampled(sized.get(), back.get(), 0, 0, 0, 0, iWidth, iHeight,
                             gdImageSX(back.get()), gdImageSY(back.get()));
        return sized;
    }
    return back;
}

int fail(const ImageJob& job, const char* szReason) {
    rdrError(job.szFunction, szReason);
    return 0;
}

float** fetchGrid(ImageJob& job) {
    const DatasetChoice& c = job.choice;
    auto byField = [&](const char* szField) {
        return c.bByArg ? fnGetStdProductDataByArg(job.pProduct, job.szProduct, c.dArg1, c.dArg2,
                                                   szField)
                        : fnGetStdProductDataByIdx(job.pProduct, job.szProduct, c.iIdx, szField);
    };
    float** ppData = byField(job.szFieldName);
    if (ppData == nullptr && std::strcmp(job.szFieldName, "RN") == 0) {
        ppData = c.bByArg
                     ? fnGetStdProductDataByArgDBZ(job.pProduct, job.szProduct, c.dArg1, c.dArg2)
                     : fnGetStdProductDataByIdxDBZ(job.pProduct, job.szProduct, c.iIdx);
        job.iDbzToRain = ppData != nullptr ? 1 : 0;
    }
    return ppData;
}

int makeProductImage(ImageJob& job) {
    if (job.szProduct == nullptr || job.pProduct == nullptr || job.szOutFile == nullptr ||
        job.szFieldName == nullptr) {
        return 0;
    }
    Grid grid(fetchGrid(job), static_cast<int>(job.pProduct->m_product_hdr.m_lYsize));
    if (grid.get() == nullptr) {
        return fail(job, job.choice.bByArg ? "fnGetStdProductDataByArg fail"
                                           : "fnGetStdProductDataByIdx fail");
    }
    double dArg1 = job.choice.dArg1;
    if (job.bSite && !job.choice.bByArg &&
        fnGetStdProductProdpar(job.pProduct, job.szProduct, job.choice.iIdx, &dArg1, nullptr) !=
            1) {
        return fail(job, "fnGetStdProductProdpar fail");
    }
    if (fnGetImgSizeInfo(job.szImgKind, &job.img) != 1) {
        return fail(job, "fnGetImgSizeInfo fail");
    }
    job.iUnit = (std::strcmp(job.szProduct, "VIL") == 0 || std::strcmp(job.szFieldName, "RN") == 0)
                    ? RDR_EN_DBZ_TO_RAIN
                    : RDR_EN_UNIT_DEFAULT;
    if (fnGetColorFileInfo(job.szFieldName, &job.disp) != 1) {
        return fail(job, "fnGetColorFileInfo fail");
    }
    const std::string colourFile =
        rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/color/" + job.disp.m_szColorFIle;
    ColourTable colours(fnReadColorTable(colourFile.c_str()));
    if (!colours) {
        return fail(job, "fnReadColorTable fail");
    }

    Image top, right, bottom;
    {
        StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dPanels);
        top = makeTop(job, *colours);
        if (!top) {
            return fail(job, job.bSite ? "pTopImg fnMakeSiteImageTop fail"
                                       : "pTopImg fnMakeCompImageTop fail");
        }
        right = makeRight(job, *colours);
        if (!right) {
            return fail(job, job.bSite ? "pRightImg fnMakeSiteImageRight fail"
                                       : "pRightImg fnMakeCompImageRight fail");
        }
        if (job.bSite) {
            bottom = makeBottom(job, dArg1);
            if (!bottom) {
                return fail(job, "pBottomImg fnMakeSiteImageBottom fail");
            }
        }
    }
    Image echo = job.bSite ? makeSiteEcho(job, grid.get(), *colours)
                           : makeCompEcho(job, grid.get(), *colours);
    if (!echo) {
        return fail(job, job.bSite ? "pEchoImg fnMakeSiteImageEcho fail"
                                   : "pEchoImg fnMakeCompImageEcho fail");
    }
    Image back;
    {
        StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dPanels);
        back = merge(job, top.get(), right.get(), bottom.get(), echo.get());
    }
    if (!back) {
        return fail(job,
                    job.bSite ? "pBackImg fnMergeSiteImg fail" : "pBackImg fnMergeCompImg fail");
    }
    std::string why;
    bool saved = false;
    {
        StageTimer timer(&PRODUCT_IMAGE_STAGE_TIMES::m_dEncode);
        saved = rdr_image_panels::saveImage(back.get(), job.option.m_iImgType, job.szOutFile, &why);
    }
    if (!saved) {
        const std::string reason = why.empty() ? "fnSaveImg fail"
                                               : "fnSaveImg fail (cannot write " +
                                                     std::string(job.szOutFile) + ": " + why + ")";
        return fail(job, reason.c_str());
    }
    return 1;
}

}  // namespace

void fnSetProductImageStageTimes(PRODUCT_IMAGE_STAGE_TIMES* pTimes) {
    g_pStageTimes = pTimes;
}

int fnMakeSiteImageToStdProductByArg(const char* szImgKind, const char* szSiteCode,
                                     STD_PRODUCT* pStdProduct, const char* szProduct,
                                     double dProductArg1, double dProductArg2,
                                     const char* szFieldName, PRODUCT_IMAGE_MAKER_OPTION imgOption,
                                     const char* szOutFile) {
    ImageJob job{"fnMakeSiteImageToStdProductByArg",
                 true,
                 szImgKind,
                 szSiteCode,
                 nullptr,
                 pStdProduct,
                 szProduct,
                 {true, dProductArg1, dProductArg2, 0},
                 szFieldName,
                 imgOption,
                 szOutFile};
    return makeProductImage(job);
}

int fnMakeSiteImageToStdProductByIdx(const char* szImgKind, const char* szSiteCode,
                                     STD_PRODUCT* pStdProduct, const char* szProduct,
                                     int iProductIdx, const char* szFieldName,
                                     PRODUCT_IMAGE_MAKER_OPTION imgOption, const char* szOutFile) {
    ImageJob job{"fnMakeSiteImageToStdProductByIdx",
                 true,
                 szImgKind,
                 szSiteCode,
                 nullptr,
                 pStdProduct,
                 szProduct,
                 {false, 0.0, 0.0, iProductIdx},
                 szFieldName,
                 imgOption,
                 szOutFile};
    return makeProductImage(job);
}

int fnMakeCompImageToStdProductByArg(const char* szImgKind, STD_PRODUCT* pStdProduct,
                                     const char* szProduct, double dProductArg1,
                                     double dProductArg2, const char* szFieldName,
                                     PRODUCT_IMAGE_MAKER_OPTION imgOption, const char* szQcStr,
                                     const char* szOutFile) {
    ImageJob job{"fnMakeCompImageToStdProductByArg",
                 false,
                 szImgKind,
                 nullptr,
                 szQcStr,
                 pStdProduct,
                 szProduct,
                 {true, dProductArg1, dProductArg2, 0},
                 szFieldName,
                 imgOption,
                 szOutFile};
    return makeProductImage(job);
}

int fnMakeCompImageToStdProductByIdx(const char* szImgKind, STD_PRODUCT* pStdProduct,
                                     const char* szProduct, int iProductIdx,
                                     const char* szFieldName, PRODUCT_IMAGE_MAKER_OPTION imgOption,
                                     const char* szQcStr, const char* szOutFile) {
    ImageJob job{"fnMakeCompImageToStdProductByIdx",
                 false,
                 szImgKind,
                 nullptr,
                 szQcStr,
                 pStdProduct,
                 szProduct,
                 {false, 0.0, 0.0, iProductIdx},
                 szFieldName,
                 imgOption,
                 szOutFile};
    return makeProductImage(job);
}
