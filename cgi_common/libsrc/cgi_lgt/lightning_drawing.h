// Drawing pieces of the lightning pages: the title over a lightning map, the strike
// markers, the completion of a date string of any precision, and the colour legend that a
// lightning page requests as an image of its own.
//
// Products are named by a type string compared as a whole:
//   "LGTTIME"    strikes coloured by age        colour file vyq_lgt_time_tarvo.col, "times"
//   "LGTINTN"    strikes coloured by current    vyq_lgt_pow_tarvo.col, "kA"
//   "LGTAREA"    strikes of a period by area    vyq_lgt_area_tarvo.col, "times"
//   "LGTVWORLD"  by age, for the background-map page (dark legend text), the area file
// Any other type takes the area colour file. Colour files and fonts are read under
// "/srv/brem/cgi_project/resource" (relocated by RDR_ROOT).
#ifndef CGI_LIGHTNING_DRAWING_H
#define CGI_LIGHTNING_DRAWING_H

#include <gd.h>

#include <ctime>
#include <string>

// Width of the legend image; its boxes start this far from the top.
constexpr int LGT_LEGEND_WIDTH = 45;
constexpr int LGT_LEGEND_TOP = 30;
// Legend heights are clamped to this range: every one of the six boxes is at least one
// pixel high.
constexpr int LGT_LEGEND_MIN_HEIGHT = LGT_LEGEND_TOP + 6;
constexpr int LGT_LEGEND_MAX_HEIGHT = 4096;
// Levels of the legend, echo colours 0 (bottom) to 5 (top).
constexpr int LGT_LEGEND_LEVELS = 6;

// Title in black 15-point type, centred on nImgXdim with its baseline at y = 40:
// "LIGHTNING <n> HOUR|MIN YYYY.MM.DD. HH:MM(KST)" for LGTTIME and LGTINTN (hours when
// nLgt_intv is 60 minutes or more), "LIGHTNING <start> ~ <end>(KST)" for LGTAREA, nothing
// for other types. 0; -1 when pImg is null, a time needed is not a valid YYYYMMDDHHMM or
// the font cannot be used (the image is left to the caller in every case).
int fnImgTopTextDisp(gdImagePtr pImg, const char* szP_type, const char* szStartTime,
                     const char* szEndTime, int nLgt_intv, int nImgXdim);

// Markers; nothing is drawn on a null image.
// Filled ellipse nWidth x nHeight centred on (nX, nY).
void fnImageFillArc(gdImagePtr pImg, int nX, int nY, int nWidth, int nHeight, int nColor);
// Plus sign, arms of 3 pixels.
void fnImagePlus(gdImagePtr pImg, int nX, int nY, int nColor);
// Small ring of radius 3: four 3-pixel sides and the four diagonal points (nX +- 2, nY +- 2).
void fnImageCircle(gdImagePtr pImg, int nX, int nY, int nColor);

// Local calendar time of a digit string of 4 (YYYY), 6, 8, 10, 12 or 14 (YYYYMMDDHHMMSS)
// digits, the missing parts completed with the first month, day, hour, minute or second.
// -1 for any other length, a character other than a digit, or a date that does not exist.
time_t getConvStrToDateTime(const char* str);

// The legend image of a product (release with gdImageDestroy): LGT_LEGEND_WIDTH wide,
// nImgYdim high (clamped to the limits above), transparent; the unit label on top, six
// boxes of echo colours 5 (top) to 0, and labels: for the time products the times szEndTime
// minus k x nLgt_intv minutes (k = 0 to 6, "MM.DD" over "HH:MM"), for LGTINTN the current
// thresholds of the levels. Text is white, black for LGTVWORLD. A colour file that cannot
// be read leaves the image without boxes and text; a level the file has no colour for is
// left empty; labels need a valid szEndTime. Null only when the image cannot be allocated.
gdImagePtr lgtLegendImage(const char* szP_type, int nImgYdim, const char* szEndTime, int nLgt_intv);

// Writes the legend image to standard output as a CGI answer
// ("Content-type: image/png\r\n\r\n" and the PNG; a "500" text answer should the image fail)
// and releases the font cache. Returns 0.
int fnCreateLevelColorImg(const char* szP_type, int nImgYdim, const char* szEndTime, int nLgt_intv);

// Colour file of a product type (rooted under RDR_ROOT) and its legend's unit label.
std::string lgtColourFile(const char* szP_type);
const char* lgtUnitLabel(const char* szP_type);

// A font of the lightning display ("times.ttf", "gulim.ttc"), rooted under RDR_ROOT.
std::string lgtFont(const char* szName);

#endif
