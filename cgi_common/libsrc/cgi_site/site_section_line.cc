#include "site_section_line.h"

int fnGetCross_Section_Point(CROSS_SECTION*, POINT, POINT, int, int, float, float, float) {
    return -1;
}
int siteFillCrossSection(CROSS_SECTION*, ST_UF_DATA*, st_Azimuth**, int, int, float, int, float,
                         int) {
    return -1;
}
