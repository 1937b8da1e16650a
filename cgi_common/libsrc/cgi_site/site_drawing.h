// Drawing of a single-radar ("site") image: the colour information per product and field,
// the legend on the right, the bottom information strip, the title, range rings and
// direction lines, map lines and station marks, the no-data image with a legend, and the
// point-rain services (one point answered as text, the whole grid dumped to a file).
// Wind barbs and the plain no-data image are in wind_drawing.h.
//
// Layout of a site image: the echo area is nImgXdim x nImgYdim at the top left, the radar
// at pixel (nImgXdim/2, nImgYdim/2), north up; the legend takes the 45 columns to its
// right and the bottom strip the 20 rows below it, so the whole image is
// (nImgXdim + 45) x (nImgYdim + 20). Images are gd true-colour images.
//
// Resources (colour files, fonts, the map-line file and the station list) are read under
// the installation root "/rdr/REF", which RDR_ROOT relocates (rdr_root.h).
#ifndef CGI_SITE_DRAWING_H
#define CGI_SITE_DRAWING_H

#include <gd.h>

#include <ctime>

#include "display_colours.h"
#include "site_section_line.h"
#include "wind_drawing.h"

constexpr int SITE_LEGEND_WIDTH = 45;
constexpr int SITE_BOTTOM_HEIGHT = 20;

// One row of the colour information table.
struct st_ColorInfo {
    const char* m_szProductType;  // "PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP", "HSR"
    const char* m_szDataType;     // field: "DZ", "RN", "CZ", "SW", "RH", "PH", "VR", ...
    char m_szColorFile[1024];     // colour file, under RDR_ROOT when it is set
    const char* m_szDispFormat;   // printf format of the legend numbers
    int m_nColorKind;             // 0 rain column, 1 unit column of the colour table
    float m_fMinValue;            // values below it are not drawn
};

// Copies the row of a product type and field into *pBuf. 0, or -1 when there is no such
// row or an argument is null.
int fnGetColorInfo(const char* szProductType, const char* szDataType, st_ColorInfo* pBuf);

// Unit of a field as the title shows it ("dBZ" for unlisted fields).
const char* siteFieldUnit(const char* szDataType);

// Legend in the columns nImgXdim .. nImgXdim + 45: one box per echo colour of pColor_ini
// (rgnColor holds their allocated colours), highest level at the top, and the thresholds
// between boxes in stColorInfo's number format. 0; -1 for a null argument or a table
// without echo colours.
int fnWriteSiteColorIndx(gdImagePtr pImg, int nImgXdim, int nImgYdim, CGI_COLOR_TBL* pColor_ini,
                         int* rgnColor, st_ColorInfo stColorInfo, const char* szDataType);

// Bottom strip: elevation or height, maximum range, gate size and count, the Nyquist
// velocity for "VR", and the QC kind ("NOQC", "FQC"). 0; -1 for a null image.
int fnWriteBottomText(gdImagePtr pImg, const char* szQC_Type, const char* szProductType,
                      const char* szDataType, float fProductArg, float fMaxRange, int nGateSize,
                      int nBinCount, float fNyqVel, int nImgXdim, int nImgYdim);

// Title line "<site> Radar <product>(<field>) YYYY.MM.DD. HH:MM(KST)" (nFlag non-zero:
// "<site> Radar Hydrometeors ..."), bold, centred on nImgXdim, baseline 20. Caller texts are
// drawn as text, never used as a format. 0; -1 for a null image.
int fnWriteEchoInfo(gdImagePtr pImg, const char* szProductType, const char* szDataType,
                    const char* szSiteName, struct tm FileTime, int nBlack, int nImgXdim,
                    int nFlag);

// A new title image nImgXdim x 25 (white, the title on the left, the field's unit on the
// right); release with gdImageDestroy. Null for a bad width or when memory runs out.
gdImagePtr fnSiteImgComment(struct tm stFileTime, const char* szSiteName, const char* szProductType,
                            const char* szDataType, int nImgXdim);

// Range rings every 100 km of radius (fImgGridKm km per pixel) centred on
// (nDimCenter, nDimCenter), while the diameter stays below 2 x nDimCenter. A grid of more
// than 100 km per pixel has no ring to draw. 0; -1 for a null image.
int fnDrawRangeRing(gdImagePtr pImg, int nLineColor, float fImgGridKm, int nDimCenter);
int fnDrawRangeRing_50(gdImagePtr pImg, int nLineColor, float fImgGridKm, int nDimCenter);

// Direction lines of the 513-pixel site image: both diagonals, the north-south and the
// east-west line through the centre. 0; -1 for a null image.
int fnDrawRangeDirection(gdImagePtr pImg, int nLineColor);
// The same for an echo area of any size (nSize pixels square, centre nSize/2).
int siteDrawDirectionLines(gdImagePtr pImg, int nSize, int nLineColor);

// Map lines of "/rdr/REF/MAP/fine_kr_binary.dat" projected around the site (fImgGridKm km
// per pixel, the site at pixel (fXo, fYo)); the fine-detail class is not drawn. 0; -1 when
// the image is null or the map file absent.
int fnDrawMap(gdImagePtr pImg, float fSiteLon, float fSiteLat, float fXo, float fYo,
              float fImgGridKm, int nMapColor);

// Station marks and names of "/rdr/REF/AWS/aws_pos_han_1.txt" inside the
// nImgXdim x nImgYdim echo area. 0; -1 when the image is null, the list absent or its count
// unreadable.
int fnSiteAws(gdImagePtr pImg, int nImgXdim, int nImgYdim, float fImgGridKm, float fSiteLon,
              float fSiteLat, float fXo, float fYo, int iAwsColor, int iFontColor);

// Answers a point query on standard output ("Content-type: text/html\r\n\r\n" then
// "%.2f\r\n\r\n"): the grid value under (fPointLon, fPointLat), as a rain rate (Z = A R^B)
// for the fields "RN" and "SN". A point outside the grid, or a cell holding a code (no data,
// outside the coverage, a marker), answers "-". The grid is not changed. Always 0.
int fnWritePointRain(float** pSiteData, const char* szDataType, int nSiteXdim, int nSiteYdim,
                     float fSiteGridKm, float fSiteLon, float fSiteLat, float fXo, float fYo,
                     float fPointLon, float fPointLat, float fZr_A, float fZr_B);

// The text fnWritePointRain answers after its header ("12.34" or "-").
void siteFormatPointRain(float** pSiteData, const char* szDataType, int nSiteXdim, int nSiteYdim,
                         float fSiteGridKm, float fSiteLon, float fSiteLat, float fXo, float fYo,
                         float fPointLon, float fPointLat, float fZr_A, float fZr_B, char* szOut,
                         int nOutLen);

// Dumps the grid (nSiteYdim rows of nSiteXdim native floats) to
// "/rdr/www/cgi-src/data/temp/load_rain/<lN_Date>.bin", as rain rates for "RN" and "SN";
// codes (-9999, -9998, markers) are written unchanged and the grid is not changed. The file
// is replaced whole or not at all. 0; -1 when it cannot be written.
int fnRainPointFileWrite(float** pImgData, const char* szDataType, long lN_Date, int nSiteYdim,
                         int nSiteXdim, float fZr_A, float fZr_B);

// The no-data image with legend and bottom strip, sent to standard output as a PNG answer;
// without a colour row or colour file for the product, the plain no-data image of the same
// size.
void fnNoDataDisp_MAP(const char* szQC_Type, const char* szProductType, const char* szDataType,
                      float fProductArg, float fMaxRange, int nGateSize, int nBinCount,
                      float fNyqVel, int nImgXdim, int nImgYdim);

// The image fnNoDataDisp_MAP sends, with an optional reason line below the message (see
// siteNoDataImage); release with gdImageDestroy. Null when the product has no colour row or
// colour file, or for a bad size.
gdImagePtr siteNoDataMapImage(const char* szQC_Type, const char* szProductType,
                              const char* szDataType, float fProductArg, float fMaxRange,
                              int nGateSize, int nBinCount, float fNyqVel, int nImgXdim,
                              int nImgYdim, const char* szReason);

// Everything a site program needs to draw one product grid as a whole site image.
struct SITE_IMAGE_REQUEST {
    // The product grid: nGridYdim rows of nGridXdim floats, row 0 north, the radar at row
    // nGridYdim/2 and column (nGridXdim - 1)/2, fGridKm km per cell; -9999 no data, -9998
    // outside the coverage. Not changed.
    const float* pGrid;
    int nGridXdim;
    int nGridYdim;
    float fGridKm;
    const char* szProductType;  // a product type of the colour information table
    const char* szDataType;     // its field; "RN" and "SN" grids hold dBZ, drawn as rain
    const char* szSiteName;
    const char* szQC_Type;  // "NOQC", "FQC" or anything else
    struct tm stFileTime;   // local time of the volume
    float fProductArg;      // elevation (PPI) or height (km)
    float fMaxRange;        // km; pixels beyond it are outside the coverage
    int nGateSize;          // m
    int nBinCount;
    float fNyqVel;  // m/s, shown for "VR"
    float fSiteLon;
    float fSiteLat;
    int nImgXdim;  // echo area, pixels
    int nImgYdim;
    float fImgGridKm;  // km per pixel
    int bRings;
    int bDirections;
    int bMap;
    int bStations;
    const WIND* pWinds;  // barbs, at their pixel positions; may be null
    int nWinds;
    float fZr_A;  // Z = A R^B for rain fields
    float fZr_B;
};

// The whole site image of a request (release with gdImageDestroy). Null for a request it
// cannot draw (null or inconsistent grid, unknown product or field, missing colour file,
// bad image size); the caller then answers with the no-data image.
gdImagePtr siteDrawProductImage(const SITE_IMAGE_REQUEST* pReq);

// Image of a filled cross-section (release with gdImageDestroy): a 25-row title strip on
// top, then the section (nImgXdim x nImgYdim pixels; start on the left, the first nLevels
// levels of fLevelKm from the bottom), the legend on its right and a bottom strip with the
// line's end points and length. The colours are those of szProductType ("CAPPI" for
// reflectivity sections) and szDataType. Null for invalid arguments or a missing colour
// file.
gdImagePtr siteDrawCrossSection(const CROSS_SECTION* pCross, int nLevels, float fLevelKm,
                                float fSiteGridKm, const char* szProductType,
                                const char* szDataType, const char* szSiteName,
                                struct tm stFileTime, int nImgXdim, int nImgYdim, float fZr_A,
                                float fZr_B);

#endif
