// Latitude and longitude lines over a single-radar image, on the azimuthal equidistant
// projection centred on the site that the map lines use (the site at pixel (fSiteXo,
// fSiteYo) counted from the bottom-left). The spacing suits the window: the smallest of
// 0.1, 0.2, 0.25, 0.5, 1, 2, 5, 10, 15 and 30 degrees that gives at most six lines across
// it, chosen for parallels and meridians apart, so that both fall about as far apart on
// the image. Lines are dotted (3 pixels on, 3 off, 1 pixel wide) in iLineColor; each is
// labelled ("30°N", "89.5°W") in libgd's small font in iTextColor where it enters the
// image: parallels at the left edge, meridians at the bottom. The image's line thickness
// is left as it was.
#ifndef RDR_SITE_GRATICULE_H
#define RDR_SITE_GRATICULE_H

#include <gd.h>

// 1 drawn, 0 for a null image, an unusable grid size or a site position off the globe.
int fnDrawSiteImgGraticule(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                           float fSiteLon, float fSiteLat, float fSiteXo, float fSiteYo,
                           int iLineColor, int iTextColor);

// The spacing, in degrees, of the lines across a span of dSpanDeg degrees.
double fnGetGraticuleStepDeg(double dSpanDeg);

#endif
