#include "composite_lookup.h"

float fnCalcRadarValue(float**, int, int, int, int, int, int, float, float) {
    return -9998.0f;
}
float fnCalcRadarValueSmooth(float**, int, int, int, int, int, int, float, float) {
    return -9998.0f;
}
float fnCalcRadarValueSmooth480(float**, int, int, int, int, int, int, float, float) {
    return -9998.0f;
}
