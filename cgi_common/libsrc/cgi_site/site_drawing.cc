#include "site_drawing.h"

int fnGetColorInfo(const char*, const char*, st_ColorInfo*) {
    return -1;
}
const char* siteFieldUnit(const char*) {
    return "dBZ";
}
int fnWriteSiteColorIndx(gdImagePtr, int, int, CGI_COLOR_TBL*, int*, st_ColorInfo, const char*) {
    return -1;
}
int fnWriteBottomText(gdImagePtr, const char*, const char*, const char*, float, float, int, int,
                      float, int, int) {
    return -1;
}
int fnWriteEchoInfo(gdImagePtr, const char*, const char*, const char*, struct tm, int, int, int) {
    return -1;
}
gdImagePtr fnSiteImgComment(struct tm, const char*, const char*, const char*, int) {
    return nullptr;
}
int fnDrawRangeRing(gdImagePtr, int, float, int) {
    return -1;
}
int fnDrawRangeRing_50(gdImagePtr, int, float, int) {
    return -1;
}
int fnDrawRangeDirection(gdImagePtr, int) {
    return -1;
}
int siteDrawDirectionLines(gdImagePtr, int, int) {
    return -1;
}
int fnDrawMap(gdImagePtr, float, float, float, float, float, int) {
    return -1;
}
int fnSiteAws(gdImagePtr, int, int, float, float, float, float, float, int, int) {
    return -1;
}
int fnWritePointRain(float**, const char*, int, int, float, float, float, float, float, float,
                     float, float, float) {
    return 0;
}
void siteFormatPointRain(float**, const char*, int, int, float, float, float, float, float, float,
                         float, float, float, char*, int) {}
int fnRainPointFileWrite(float**, const char*, long, int, int, float, float) {
    return -1;
}
void fnNoDataDisp_MAP(const char*, const char*, const char*, float, float, int, int, float, int,
                      int) {}
gdImagePtr siteDrawProductImage(const SITE_IMAGE_REQUEST*) {
    return nullptr;
}
gdImagePtr siteDrawCrossSection(const CROSS_SECTION*, int, float, float, const char*, const char*,
                                const char*, struct tm, int, int, float, float) {
    return nullptr;
}
