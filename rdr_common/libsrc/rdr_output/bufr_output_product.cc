// BUFR_PRODUCT allocation, release and counts: the ODIM product's, since the two share
// their records.
#include "bufr_output.h"

BUFR_PRODUCT* fnInitBufrProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase,
                                int iMaxCmax, int iMaxVil, int iMaxEtop) {
    return fnInitHdfProduct(iMaxField, iMaxPpi, iMaxCappi, iMaxBase, iMaxCmax, iMaxVil, iMaxEtop);
}

BUFR_PRODUCT* fnInitBufrProductToStdProduct(void* pStdPtr) {
    return fnInitHdfProductToStdProduct(pStdPtr);
}

void fnFreeBufrProduct(BUFR_PRODUCT* pBufrProduct) {
    fnFreeHdfProduct(pBufrProduct);
}

int fnGetMaxCountBufrProduct(BUFR_PRODUCT* pBufrProduct, int* pMaxField, int* pMaxPpi,
                             int* pMaxCappi, int* pMaxBase, int* pMaxCmax, int* pMaxVil,
                             int* pMaxEtop) {
    return fnGetMaxCountHdfProduct(pBufrProduct, pMaxField, pMaxPpi, pMaxCappi, pMaxBase, pMaxCmax,
                                   pMaxVil, pMaxEtop);
}
