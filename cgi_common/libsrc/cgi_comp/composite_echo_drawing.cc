#include "composite_echo_drawing.h"

int fnCompEchoDisp(int, int, const char*, const char*, float**, gdImagePtr, int*, CGI_COLOR_TBL*) {
    return -1;
}
int fnCompCj3EchoDisp(int, int, const char*, const char*, float**, gdImagePtr, int*,
                      CGI_COLOR_TBL*) {
    return -1;
}
int fnComp480EchoDisp(int, int, const char*, float**, gdImagePtr, int*, CGI_COLOR_TBL*) {
    return -1;
}
int fnComp3dEchoDisp(int, int, const char*, const char*, float**, gdImagePtr, int*,
                     CGI_COLOR_TBL*) {
    return -1;
}
int fnCompTitanDisp(int, int, const char*, float**, gdImagePtr, int*, CGI_COLOR_TBL*) {
    return -1;
}
