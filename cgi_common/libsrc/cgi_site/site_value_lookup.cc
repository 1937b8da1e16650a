#include "site_value_lookup.h"

float fnCalcRadarValue(float**, int, int, int, int, int, int, float, float) {
    return -9998.0f;
}
float fnCalcRadarValue_Map(float**, int, int, int, int, int, int, float) {
    return -9998.0f;
}
