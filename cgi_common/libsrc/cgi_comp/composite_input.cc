#include "composite_input.h"

float** fnGetCompData(const char*, int, int) {
    return nullptr;
}
float** fnGetComp480Data(const char*, int, int, unsigned char*) {
    return nullptr;
}
float** fnGetCompCj3Data(const char*, int, int, int) {
    return nullptr;
}
float** fnGetCompVsrfData(const char*, int, int, int) {
    return nullptr;
}
float** fnGetCompMapleData(const char*, int, int, int) {
    return nullptr;
}
