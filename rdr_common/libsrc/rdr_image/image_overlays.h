// Geographic overlays on the echo panel of a product image: composite map lines from a
// pre-projected line file, single-radar map lines from a geographic line file projected
// around the site, and station marks with names from a text station list. The files lie
// under the resource root "/rdr/www/cgi-src" (through RDR_ROOT): resource/map/ and
// resource/aws/; station names are drawn in resource/font/gulim.ttc.
//
// Composite line file ("map_data.bln" for COMP_240, "F2R_map4.bln" for the other kinds):
// little-endian records of float32 count, float32 code, count x (float32 x, float32 y) in
// cells of a 4 km grid, x east, y north. Codes 0, 1, 2, 5, 6, 7 and 8 are drawn.
// Single-radar line files ("fine_kr_binary.dat" for the national lines, "world_binary.dat"
// for shores and national borders of the whole globe): records of int32 count, int32 class,
// count x (float32 latitude, float32 longitude); class 3 is fine detail, drawn only at
// 0.5 km per pixel or finer. Station lists ("aws_pos_han_1.txt" for coarser images,
// "aws_pos_han_2.txt" otherwise): a count, then "name latitude longitude" entries; names
// are EUC-KR (or plain UTF-8).
#ifndef RDR_IMAGE_OVERLAYS_H
#define RDR_IMAGE_OVERLAYS_H

#include <gd.h>

// Composite map lines. Pixel of a point (x, y): column (x - fOrgX) * s + iMoveX, row
// iHeight - (y + fOrgY) * s - iMoveY, s = 4 / fImgGridKm. 1 when drawn or when the map
// file is absent, -1 for a null image or kind.
int fnDrawCompImgMap(char* szImgKind, gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                     float fOrgX, float fOrgY, int iMoveX, int iMoveY, int iMapColor);

// Single-radar map lines on the azimuthal equidistant projection centred on the site, the
// site at pixel (fSiteXo, fSiteYo) counted from the bottom-left. Lines are 2 pixels thick on
// fine images (1 for fine-detail lines), 1 on coarse ones; the last thickness stays set on
// the image. Points more than a quarter of the globe from the site are left out. 1 drawn, 0
// for a null image or an absent file.
int fnDrawSiteImgMap(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm, float fSiteLon,
                     float fSiteLat, float fSiteXo, float fSiteYo, int iMapColor);

// The world lines on the same projection, for images that reach past the box the national
// lines cover (the box their points span): only their pieces outside that box are drawn,
// in the thicknesses of the national lines; the image's line thickness is left as it was.
// 1 drawn, or nothing to draw because the national lines cover the image; 0 for a null
// image, an unusable grid size, a site position off the globe or an absent world file.
int fnDrawSiteImgWorldMap(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                          float fSiteLon, float fSiteLat, float fSiteXo, float fSiteYo,
                          int iMapColor);

// Station marks (4-pixel dots) and names (10 points) on the same projection. 1 drawn, 0 for
// a null image, an absent station list or an unreadable count.
int fnDrawSiteImgAws(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm, float fSiteLon,
                     float fSiteLat, float fSiteXo, float fSiteYo, int iAwsColor, int iFontColor);

#endif
