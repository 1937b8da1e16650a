// Vertical-section images of volumes that plan views cannot show. An RHI sweep is drawn as
// a range-height image: ground distance from the radar across (negative behind it, where a
// sweep passes the zenith), height above the antenna upwards. A vertically pointing volume
// is drawn as a time-height image: ray time across, height above the antenna upwards.
// Both put the beam where the 4/3 effective earth radius model puts it, colour the field
// with the colour table of the product images, label both axes in km (and time) and carry
// a title and the colour bar.
//
// Each pixel takes the bin under its centre on the nearest ray (by elevation for an RHI, by
// time for a time-height image); a pixel farther than half the usual ray spacing from every
// ray, or beyond the ray's last bin, is outside the coverage. The image functions return 1
// when the file was written, 0 otherwise with one "function : reason" line on standard
// error; the file is replaced atomically like every product image.
#ifndef RDR_SECTION_IMAGES_H
#define RDR_SECTION_IMAGES_H

#include "standard_volume.h"

struct SECTION_IMAGE_OPTION {
    int m_iImgType;      // RDR_EN_IMG_TYPE_* of product_image_maker.h
    int m_iPanelWidth;   // echo panel in pixels; 0: 800
    int m_iPanelHeight;  // 0: 400
    int m_iImgWidth;     // with m_iImgHeight, both above 0: resample the finished image
    int m_iImgHeight;
    float m_fMaxRangeKm;   // RHI: farthest ground distance drawn; 0: the sweep's reach
    float m_fMaxHeightKm;  // top of the panel; 0: the highest beam, at most 20 km
};

// Where the echo panel of a written image lies and what its edges stand for, so that a
// caller can turn a pixel back into a place (and a test can probe one). Rows grow downwards:
// the panel's top edge is m_dYHigh. On a time-height image x holds stored times in seconds
// (whole seconds are the rays' time stamps).
struct SECTION_IMAGE_AXES {
    int m_iPanelLeft;  // pixel column and row of the panel's top-left pixel in the image
    int m_iPanelTop;
    int m_iPanelWidth;
    int m_iPanelHeight;
    double m_dXLow;  // value at the left and right edges (km, or stored seconds)
    double m_dXHigh;
    double m_dYLow;  // height at the bottom and top edges, km above the antenna
    double m_dYHigh;
};

// Height above the antenna and distance along the surface of the point at slant range
// fSlantRangeKm on a beam at fElevationDeg, 4/3 effective earth radius.
float fnBeamHeightKm(float fSlantRangeKm, float fElevationDeg);
float fnBeamGroundRangeKm(float fSlantRangeKm, float fElevationDeg);

// Range-height image of sweep iSweep. szFieldName is a display field of the colour tables;
// "RN" draws rain rate, converted from reflectivity when the volume holds none.
// szSiteCode labels the title (null: the volume's radar name).
// pAxes, when not null, receives the panel's place and edges of a written image.
int fnMakeRhiImage(STD_RADAR* pStd, int iSweep, const char* szFieldName, const char* szSiteCode,
                   SECTION_IMAGE_OPTION option, const char* szOutFile,
                   SECTION_IMAGE_AXES* pAxes = nullptr);

// Time-height image of every ray of the volume, in time order.
int fnMakeTimeHeightImage(STD_RADAR* pStd, const char* szFieldName, const char* szSiteCode,
                          SECTION_IMAGE_OPTION option, const char* szOutFile,
                          SECTION_IMAGE_AXES* pAxes = nullptr);

#endif
