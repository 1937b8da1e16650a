// Product images: one field of one product in a STD_PRODUCT drawn as a finished PNG, GIF
// or JPEG file. A site (single-radar) image is a title strip on top, the echo panel with map
// lines, optional range rings, direction lines and station marks, a colour bar on the right
// and an information strip at the bottom; a composite image has no bottom strip and draws
// the pre-projected composite map. The layout of each image kind comes from the image
// information table (fnGetImgSizeInfo), colours and legend formats from the display table
// (fnGetColorFileInfo) and the colour file it names.
//
// Each function returns 1 when the file was written, 0 otherwise; after its arguments are
// checked, a failure prints one "function : reason" line on standard error. The file is
// written to a temporary name beside the target and renamed into place, so a failed call
// leaves any existing file untouched.
#ifndef RDR_PRODUCT_IMAGE_MAKER_H
#define RDR_PRODUCT_IMAGE_MAKER_H

#include "standard_product.h"

// Output formats.
enum {
    RDR_EN_IMG_TYPE_PNG = 1,
    RDR_EN_IMG_TYPE_GIF = 2,
    RDR_EN_IMG_TYPE_JPEG = 3,
};

// Units of the drawn values.
enum {
    RDR_EN_UNIT_DEFAULT = 0,
    RDR_EN_DBZ_TO_RAIN = 1,
};

struct PRODUCT_IMAGE_MAKER_OPTION {
    int m_iImgType;   // RDR_EN_IMG_TYPE_*
    int m_iImgWidth;  // with m_iImgHeight, both above 0: resample to this size
    int m_iImgHeight;
    int m_iSmoothNum;      // smoothing passes over the site echo grid
    int m_iDrawAws;        // 1: station marks (site images)
    int m_iDrawRing;       // 1: range rings every 100 km (site images; smaller windows get a
                           // smaller step), 2: the same labelled with their radius in km
    int m_iDrawDirection;  // 1: direction lines (site images)
    int m_iDrawGraticule;  // 1: labelled latitude and longitude lines (site images)
    // The title's clock: seconds added to the product's KST time and the zone's name; a
    // zeroed option (empty name) keeps KST.
    int m_iTitleOffsetSec;
    char m_szTitleZone[8];
};

// Site images. szImgKind "SITE_240" or "SITE_480"; szSiteCode is the label of the title;
// szFieldName a display field ("RN" draws rain rate, converted from reflectivity when the
// product holds no rain-rate field).
int fnMakeSiteImageToStdProductByArg(const char* szImgKind, const char* szSiteCode,
                                     STD_PRODUCT* pStdProduct, const char* szProduct,
                                     double dProductArg1, double dProductArg2,
                                     const char* szFieldName, PRODUCT_IMAGE_MAKER_OPTION imgOption,
                                     const char* szOutFile);
int fnMakeSiteImageToStdProductByIdx(const char* szImgKind, const char* szSiteCode,
                                     STD_PRODUCT* pStdProduct, const char* szProduct,
                                     int iProductIdx, const char* szFieldName,
                                     PRODUCT_IMAGE_MAKER_OPTION imgOption, const char* szOutFile);

// Composite images. szImgKind "COMP_240", "COMP_480" or "COMP_KCJ"; szQcStr is the
// quality-control label of the title.
int fnMakeCompImageToStdProductByArg(const char* szImgKind, STD_PRODUCT* pStdProduct,
                                     const char* szProduct, double dProductArg1,
                                     double dProductArg2, const char* szFieldName,
                                     PRODUCT_IMAGE_MAKER_OPTION imgOption, const char* szQcStr,
                                     const char* szOutFile);
int fnMakeCompImageToStdProductByIdx(const char* szImgKind, STD_PRODUCT* pStdProduct,
                                     const char* szProduct, int iProductIdx,
                                     const char* szFieldName, PRODUCT_IMAGE_MAKER_OPTION imgOption,
                                     const char* szQcStr, const char* szOutFile);

// Profiling aid for the benchmark and `rdr image --timings`: while a record is installed,
// every image call adds the seconds it spends per stage. Null uninstalls it. Not for use
// from several threads at once.
struct PRODUCT_IMAGE_STAGE_TIMES {
    double m_dImageData;  // product grid to pixels, smoothing, coverage and echo colours
    double m_dOverlays;   // map lines, rings, direction lines, stations
    double m_dPanels;     // title, colour bar and information strips, merging, resampling
    double m_dEncode;     // PNG/GIF/JPEG encoding and writing the file
};
void fnSetProductImageStageTimes(PRODUCT_IMAGE_STAGE_TIMES* pTimes);

#endif
