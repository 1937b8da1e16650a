#include "colour_tables.h"

RDR_COLOR_TBL* fnReadColorTable(const char*) {
    return nullptr;
}

int fnAllocColorTbl(gdImagePtr, RDR_COLOR_TBL*, int*, int*) {
    return 0;
}

int fnGetColorLevel(float, RDR_COLOR_TBL*, int, float, int, int) {
    return -1;
}
