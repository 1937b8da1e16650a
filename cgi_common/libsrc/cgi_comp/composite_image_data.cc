#include "composite_image_data.h"

st_LAMC_PARAMETER compGridProjection() {
    return fnCgiGetMapInfo(6371.00877f, 30.0f, 60.0f, 126.0f, 38.0f, 0.001f, 0, 0);
}
st_LAMC_PARAMETER compDisplayProjection() {
    return fnCgiGetMapInfo(6378.137f, 30.0f, 60.0f, 126.0f, 0.0f, 0.001f, 0, 0);
}
bool compImageFrame(int, int, float, float, float, float, float, CompImageFrame*) {
    return false;
}
void compFillImageGaps(float**, int, int) {}
float** fnMakeCompImgData(float**, int, int, float, float, float, float, int, int, int, float,
                          const char*) {
    return nullptr;
}
float** fnMakeComp480ImgData(float**, int, int, float, float, float, float, int, int, int, float) {
    return nullptr;
}
float** fnMakeCompCj3ImgData(float**, int, int, float, float, float, float, int, int, int, float) {
    return nullptr;
}
int fnMakeCompVsrfEchoImgData(float**, float**, int, int, float, float, float, float, int, int, int,
                              float) {
    return -1;
}
int fnMakeCompVsrfConGuideImgData(float**, float**, int, int, float, float, float, float, int, int,
                                  float) {
    return -1;
}
int fnMakeCompMapImgData(float**, float**, int, int, int, int, float) {
    return -1;
}
int fnVyqPosToGisPos(float**, int, int, float, float, float, float, int, int, int, int) {
    return -1;
}
