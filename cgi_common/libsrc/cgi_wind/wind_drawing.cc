#include "wind_drawing.h"

int fnWindDraw(gdImagePtr, WIND, int, int, int, int, int) {
    return -1;
}
void fnNoDataDisp(int, int) {}
gdImagePtr siteNoDataImage(int, int, const char*) {
    return nullptr;
}
void siteDrawNoDataMessage(gdImagePtr, int, int, const char*) {}
