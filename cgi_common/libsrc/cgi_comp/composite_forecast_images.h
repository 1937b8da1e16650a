// Very-short-range forecast images of the composite display: the storm-cell image, the plain
// echo image with forecast and valid times, the contour image of smoothed rain rate, and the
// guide image that outlines the forecast echo area at three lead times (0, 180 and 360
// minutes) read in three threads.
//
// All images are true-colour with alpha saved and a fully transparent background, coloured
// from the rain colour table (resource/color/vyq_rn_tarvo.col under the composite root, see
// composite_extras.h).
//
// Contour levels (rain rate x 100): -7000, 100, 500, 1200, 5000, 10000; the -7000 level
// traces the edge of the data area, where smoothed values fall from data towards -9999. A
// segment of level index k is drawn in line colour k + 1 of (0, 0, 0), (0, 119, 179),
// (0, 128, 0), (255, 156, 0), (179, 0, 0), (127, 0, 191); the 10000 level, which has no
// seventh colour, is drawn in colour 0, black, the one colour no other level uses.
#ifndef CGI_COMPOSITE_FORECAST_IMAGES_H
#define CGI_COMPOSITE_FORECAST_IMAGES_H

#include <gd.h>

// Everything a forecast image is made from (the arguments of fnCreateCompVsrfImg).
struct COMP_VSRF_IMAGE_REQUEST {
    float** pImgData;      // image grid, nImgYdim rows of nImgXdim; smoothed in place by the
                           // contour image
    const char* szP_type;  // "VSRF", "MAPLE" or "PIRET"
    int nImgXdim;
    int nImgYdim;
    const char* szUnit;
    int nTitan;            // 1: storm-cell image (takes precedence)
    int nContour;          // 1: contour image
    int nForeGuide;        // 1: guide image
    const char* szF_name;  // forecast file the guide image reads
    int nCompXdim;
    int nCompYdim;
    float fLU_lon;  // left-upper corner of the image, degrees
    float fLU_lat;
    float fXDist;  // width and height of the image area, metres
    float fYDist;
    int nSmooth;
    float fCompGridKm;
    const char* szDate;          // valid time, "YYYYMMDDHHMM"
    const char* szForecastDate;  // forecast (issue) time, "YYYYMMDDHHMM"
};

// What compDrawVsrfImage made.
enum {
    COMP_VSRF_IMAGE = 0,    // an image
    COMP_VSRF_NO_GRID = 1,  // a forecast grid of the guide image is missing: answer no data
    COMP_VSRF_FAILED = -1,  // the image could not be drawn
};

// The image fnCreateCompVsrfImg would write (release with gdImageDestroy); null with
// *pnStatus COMP_VSRF_NO_GRID or COMP_VSRF_FAILED when there is none.
gdImagePtr compDrawVsrfImage(const COMP_VSRF_IMAGE_REQUEST* pReq, int* pnStatus);

// Makes the image chosen in this order: nTitan 1 storm cells, nContour 1 contours,
// nForeGuide 1 the guide, otherwise the plain echo image; writes it as the CGI answer. A
// missing forecast grid of the guide image answers with the no-radar-data image. 0; -1 when
// the chosen image failed (nothing written then).
int fnCreateCompVsrfImg(float** pImgData, const char* szP_type, int nImgXdim, int nImgYdim,
                        const char* szUnit, int nTitan, int nContour, int nForeGuide,
                        const char* szF_name, int nCompXdim, int nCompYdim, float fLU_lon,
                        float fLU_lat, float fXDist, float fYDist, int nSmooth, float fCompGridKm,
                        const char* szDate, const char* szForecastDate);

#endif
