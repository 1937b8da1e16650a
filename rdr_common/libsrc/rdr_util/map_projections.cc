#include "map_projections.h"

LAMC_PARAMETER fnGetLamcMapInfo(float fRe, float fGridKm, float fSlat1, float fSlat2, float fOlon,
                                float fOlat, float fXo, float fYo) {
    return LAMC_PARAMETER{fRe, fGridKm, fSlat1, fSlat2, fOlon, fOlat, fXo, fYo};
}

void fnLamcProj(float*, float*, float*, float*, int, LAMC_PARAMETER*, LAMC_VAR*) {}

AZED_PARAMETER fnGetAzedMapInfo(float fRe, float fGridKm, float fSlon, float fSlat, float fOlon,
                                float fOlat, float fXo, float fYo) {
    return AZED_PARAMETER{fRe, fGridKm, fSlon, fSlat, fOlon, fOlat, fXo, fYo};
}

void fnAzedProj(float*, float*, float*, float*, int, AZED_PARAMETER*, AZED_VAR*) {}
