// Wind barbs and the no-data image of the site display library.
//
// A barb is drawn from a station's pixel position towards the direction the wind comes
// from, with its marks (pennants 25, full feathers 5, a half feather for a rest of 1.5 or
// more, in the speed's own unit) at five positions counted from the tip. The no-data
// image is the answer of a request that has nothing to show: a transparent PNG that says
// so, sent to standard output as a CGI answer.
#ifndef CGI_WIND_DRAWING_H
#define CGI_WIND_DRAWING_H

#include <gd.h>

#include <cstdio>

// A station's wind.
struct WIND {
    float lat;  // degrees
    float lon;  // degrees
    float x;    // pixel column of the station in the image
    float y;    // pixel row of the station in the image
    float z;    // height
    float ws;   // wind speed
    float wd;   // direction the wind comes from, degrees clockwise from north
};

// Draws the barb of w at (w.x, w.y): a shaft of nSize pixels pointing into the wind and
// marks of nWing pixels, in nLine_Color. 1 when drawn or when the speed is not positive
// (nothing drawn), -1 when the station lies outside the nImgXdim x nImgYdim image, the
// image is null or a value is not a number. Speeds that need more than the five mark
// positions show the first five marks.
int fnWindDraw(gdImagePtr pImg, WIND w, int nLine_Color, int nSize, int nWing, int nImgXdim,
               int nImgYdim);

// Writes the no-data image (nImgXdim x nImgYdim, transparent, the message centred) to
// standard output after "Content-type: image/png\r\n\r\n". Sizes are clamped to
// 1 .. SITE_MAX_IMAGE_DIM. Should the image itself fail, the answer is a plain-text
// "500" answer, never nothing.
void fnNoDataDisp(int nImgYdim, int nImgXdim);

// Largest side of an image the drawing functions make.
constexpr int SITE_MAX_IMAGE_DIM = 4096;

// The no-data image as an image (release with gdImageDestroy): the message centred at
// mid-height and, when szReason is neither null nor empty, the reason in a smaller line
// below it (UTF-8; the caller makes sure it holds nothing private such as a server path).
// Null only when the image cannot be allocated.
gdImagePtr siteNoDataImage(int nImgYdim, int nImgXdim, const char* szReason);

// Draws the no-data message (and the optional reason below it) in black, horizontally
// centred on nCentreX with its baseline at nBaselineY.
void siteDrawNoDataMessage(gdImagePtr pImg, int nCentreX, int nBaselineY, const char* szReason);

#endif
