// Everything a composite image needs besides the echo itself: the title line, the forecast
// and valid times of forecast images, the colour legend (a separate legend image or a strip
// at the right of a map image), the national map lines, the marking of out-of-area pixels,
// the no-radar-data images, and two services that answer with numbers: the rain grid of a
// map window written to a file, and the value under one geographic point.
//
// Resources are read under the installation root "/srv/brem/cgi_project", which RDR_ROOT
// relocates (rdr_root.h): fonts in resource/font, colour tables in resource/color
// (vyq_etop_tarvo.col for "ETOP", vyq_vil_tarvo.col for "VIL", otherwise vyq_sn_tarvo.col
// for unit "SN" and vyq_rn_tarvo.col for every other unit), map lines in
// resource/map/map_data.bln; rain grids are written to data/temp/load_rain.
//
// Dates are the text "YYYYMMDDHHMM" (local time) and are shown as "YYYY.MM.DD. HH:MM". A
// date that is not twelve digits of a real time is refused, never cut at fixed offsets.
// Units: "RN" rain rate, "SN" snow rate, "CZ" and "DZ" reflectivity (Z = a R^b with
// a = 200, b = 1.6 for rain and reflectivity, a = 2000, b = 2.0 for snow).
//
// Images passed in stay the caller's: no function here destroys an image it was given, also
// when it fails. Functions that answer a CGI request write "Content-type: image/png\r\n\r\n"
// and the PNG, or "Content-type: text/html\r\n\r\n" and text, to standard output.
#ifndef CGI_COMPOSITE_EXTRAS_H
#define CGI_COMPOSITE_EXTRAS_H

#include <gd.h>

#include <cstddef>

#include "display_colours.h"

// Width of a legend image, and of the legend strip at the right of a map image.
constexpr int COMP_LEGEND_WIDTH = 45;

// Title kinds of fnImgTopTextDisp.
enum {
    COMP_TITLE_RAIN = 0,      // "PPI0(unit) time(KST) Rain Rate"
    COMP_TITLE_PRODUCT = 1,   // product with its quality-control name
    COMP_TITLE_480 = 2,       // "PPI0(unit) 480km Rainrate time(KST)"
    COMP_TITLE_FUZZY = 3,     // "PPI0 Fuzzy(unit) ..."
    COMP_TITLE_NOQC = 4,      // "PPI0 NoQC(unit) ..."
    COMP_TITLE_FORECAST = 5,  // forecast products: "VSRF", "MAPLE", "PIRET"
    COMP_TITLE_ORPG = 6,      // "PPI0 ORPG(unit) ..."
};

// The title text of a title kind, without drawing it ("" when the kind is unknown or a date
// is not valid). szQ_type names the quality control for kind 1 ("NOQC", "FUZZYQC",
// "ORPGQC", "CHAFFQC"); szForecastDate is used by kind 5 only.
bool compTitleText(const char* szP_type, const char* szQ_type, const char* szUnit,
                   const char* szDate, int nFlag, const char* szForecastDate, char* szOut,
                   std::size_t nOutLen);

// Draws the title line, centred on nImgXdim with its baseline at y = 20, in bold 15 pt
// (black; blue (0, 50, 255) for forecasts). 0; -1 when the image is null, the kind unknown,
// a date invalid or the font cannot be drawn. The image is never destroyed.
int fnImgTopTextDisp(gdImagePtr pImg, const char* szP_type, const char* szQ_type,
                     const char* szUnit, const char* szDate, int nImgXdim, int nFlag,
                     const char* szForecastDate);

// "Forecast Time = ..." at y = nImgYdim - 45 and "Valid Time = ..." (szDate) at
// y = nImgYdim - 25, both starting where the first line is centred, 12 pt, black. 0; -1 as
// for fnImgTopTextDisp.
int fnVsrfMapleContentDisp(int nImgXdim, int nImgYdim, gdImagePtr pImg, const char* szDate,
                           const char* szForecastDate);

// The colour table of a product and unit (see above); release with free(). Null when it
// cannot be read. The no-data map image uses compReadMapColorTable: the rain table for
// every product other than "ETOP" and "VIL".
CGI_COLOR_TBL* compReadColorTable(const char* szP_type, const char* szUnit);
CGI_COLOR_TBL* compReadMapColorTable(const char* szP_type);

// Legend into a legend image 45 pixels wide and nImgYdim high: the column title at the top,
// then with n echo colours and h = (nImgYdim - 26) / (n + 0.5) + 0.2 one band of h rows per
// colour from row 30 down (the highest level at the top) over columns 0 to 10, a black
// outline, and the thresholds between bands in white. rgnColor holds the allocated echo
// colours of pColor_ini. 0; -1 for a null argument.
int fnLevelColorDisp(int nImgYdim, const char* szP_type, const char* szUnit, gdImagePtr pImg,
                     int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// The legend image of a product and unit (transparent, alpha saved); release with
// gdImageDestroy. Null for a height outside 1 .. 4096 or a missing colour table.
gdImagePtr compLevelColorImage(const char* szP_type, int nImgYdim, const char* szUnit);

// Writes the legend image as the CGI answer. 0; -1 when there is no image to write.
int fnCreateLevelColorImg(const char* szP_type, int nImgYdim, const char* szUnit);

// Legend strip in a map image: white over columns nImgXdim .. nImgXdim + 45, bands of
// h = (nImgYdim + 4) / (n + 0.5) + 0.2 rows from the top over columns nImgXdim ..
// nImgXdim + 10, outline and thresholds in (51, 51, 51). 0; -1 for a null argument.
int fnMapLevelColorDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                        gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// Map lines of map_data.bln: records of little-endian float32 point count and line kind,
// then the points (x, y), drawn at pixel ((x - fXo) * fZm + nMoveX,
// nImgYdim - (y + fYo) * fZm - nMoveY). Kinds 0, 1, 2, 5, 6, 7 and 8 are drawn, records of
// fewer than two points skipped; reading stops at a count that is not a whole number or
// exceeds what the file holds. 0, also when the file is missing; -1 without an image.
int fnMapLineDisp(int nImgYdim, gdImagePtr pImg, int nMap_color, float fXo, float fYo, int nMoveX,
                  int nMoveY, float fZm);

// Sets every pixel whose grid value equals fOutBoundValue to black with alpha 100. 0; -1
// for a null image or grid.
int fnBoundDisp(int nImgXdim, int nImgYdim, float** pImgData, gdImagePtr pImg,
                float fOutBoundValue);

// Largest side of an image the composite drawing makes.
constexpr int COMP_MAX_IMAGE_DIM = 4096;

// The no-radar-data image: transparent, the message centred at half height (release with
// gdImageDestroy). Null for a size outside 1 .. 4096 or when the text cannot be drawn.
gdImagePtr compNoDataImage(int nImgXdim, int nImgYdim);

// The no-radar-data map image: white, (nImgXdim + 46) x (nImgYdim + 26), map lines at 2
// pixels per km, the legend strip, an outline and the message. Null as above or when the
// colour table cannot be read.
gdImagePtr compNoDataMapImage(const char* szP_type, int nImgXdim, int nImgYdim, const char* szUnit);

// Write the images above as the CGI answer. 0; -1 (nothing written) when the image could not
// be made.
int fnNoCompDataDisp(int nImgXdim, int nImgYdim);
int fnNoCompMapDataDisp(const char* szP_type, int nImgXdim, int nImgYdim, const char* szUnit);

// Unit flags of the rain-grid and point-value services.
enum {
    COMP_UNIT_AS_RATE = 0,     // "RN", "SN": dBZ data shown as rain or snow rate
    COMP_UNIT_AS_DBZ = 1,      // "CZ": rain-rate data shown as dBZ; "SN": as snow rate
    COMP_UNIT_UNCHANGED = 2,   // data as stored
    COMP_UNIT_HUNDREDTHS = 3,  // data stored as hundredths; the rain grid divides by 100
};

// Writes the rain grid of a map window to "<lN_Date>.bin" in the rain-grid directory:
// nImgYdim rows of nImgXdim native float32, the window's image grid built with nearest
// lookup as fnMakeCompImgData does (data values divided by 100 for flag 3), converted by
// nUnitFlag. Codes (-9999, -9998) are written unchanged; a rate at or below 0 has no dBZ and
// is written as -9999. The file is replaced whole or not at all, and nothing is created for
// an unknown flag. 0; -1 for an unknown flag, a null or empty grid, or a failed write.
int fnRainPointFileWrite(float** pCompData, const char* szUnit, long lN_Date, int nCompXdim,
                         int nCompYdim, int nUnitFlag, int nImgXdim, int nImgYdim, float fLU_lon,
                         float fLU_lat, float fXDist, float fYDist, float fCompGridKm);

// The text of a point-value answer ("12.34", or "-" for a point outside the grid, a cell
// holding a code (-9999, -9998, -128, -127) or an unknown flag): the cell under
// (fPointLon, fPointLat) on the composite's Lambert grid (sphere 6371.00877 km, standard
// parallels 30 and 60, reference (fCompLon, fCompLat) at cell (nCompXo, nCompYo), cells of
// fCompGridKm), converted for flags 0 and 1 as in the rain grid.
void compFormatPointRain(float** pCompData, const char* szUnit, int nCompXdim, int nCompYdim,
                         float fCompGridKm, float fCompLon, float fCompLat, int nCompXo,
                         int nCompYo, float fPointLon, float fPointLat, int nUnitFlag, char* szOut,
                         std::size_t nOutLen);

// Answers the point value: "Content-type: text/html\r\n\r\n", the text above, "\r\n\r\n".
// Always 0.
int fnWritePointRain(float** pCompData, const char* szUnit, int nCompXdim, int nCompYdim,
                     float fCompGridKm, float fCompLon, float fCompLat, int nCompXo, int nCompYo,
                     float fPointLon, float fPointLat, int nUnitFlag);

#endif
