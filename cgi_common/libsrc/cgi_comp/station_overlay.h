// Present-weather symbols of surface stations drawn onto a composite image.
//
// Stations come from the hourly weather-station file
// "/DATA/INPUT/WST/YYYYMM/DD/WST_YYYYMMDDHH00.txt" (under RDR_ROOT) of the image time's hour:
// a first line with the number of stations, then one line "code latitude longitude" per
// station. Stations are placed on the composite display projection (Lambert, sphere
// 6378.137 km, standard parallels 30 and 60, origin 126 E 0 N, metres) relative to the
// image's left-upper corner.
#ifndef CGI_STATION_OVERLAY_H
#define CGI_STATION_OVERLAY_H

#include <gd.h>

// Draws the symbol of a present-weather code at pixel (c, r) in colour nColour: circles for
// codes 0 to 10 (with bars or an inner circle by code), a filled circle for rain (50 to 66,
// 80 to 82), a small filled circle with a bar and a cross for sleet (68, 69, 83, 84), a bar
// and a cross for snow (70 to 78, 85 to 88); nothing for any other code.
void compDrawWeatherSymbol(gdImagePtr pImg, int nCode, int c, int r, int nColour);

// Draws the symbols of the stations of szDate's hour ("YYYYMMDDHHMM") in (51, 51, 51) on
// the nImgXdim x nImgYdim image whose left-upper corner is (fLU_lon, fLU_lat) and which spans
// fXDist x fYDist metres. Stations outside the image, in column 0 or in row 0 are skipped;
// at most the announced number of stations is read, and reading stops at the first line
// that is not a station. 0, also when the station file is missing; -1 without an image, for
// a date that is not twelve digits of a real time, or when the first line is not a count.
int fnCompWstDisp(float fLU_lon, float fLU_lat, const char* szDate, int nImgXdim, int nImgYdim,
                  float fXDist, float fYDist, gdImagePtr pImg);

#endif
