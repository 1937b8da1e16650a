#include "standard_product.h"

STD_PRODUCT* fnInitStdProduct(int, int, int, int, int, int, int) {
    return nullptr;
}
void fnFreeStdProduct(STD_PRODUCT*) {}
int fnSetStdProductSiteHdr(STD_RADAR*, STD_PRODUCT*, int, int, float) {
    return 0;
}
int fnSetStdProductCompHdr(STD_PRODUCT*, const char*, const char*, int, int, float, int, int) {
    return 0;
}
int fnAddStdProductToData(STD_PRODUCT*, const char*, int, double, double, const char*, const float*,
                          int, int) {
    return 0;
}
STD_PRODUCT_DATASET** fnFindDsetStdProduct(STD_PRODUCT*, const char*, int* pMaxDset) {
    if (pMaxDset != nullptr) {
        *pMaxDset = 0;
    }
    return nullptr;
}
int fnGetStdProductProdpar(STD_PRODUCT*, const char*, int, double*, double*) {
    return 0;
}
float** fnGetStdProductDataByArg(STD_PRODUCT*, const char*, double, double, const char*) {
    return nullptr;
}
float** fnGetStdProductDataByArgDBZ(STD_PRODUCT*, const char*, double, double) {
    return nullptr;
}
float** fnGetStdProductDataByIdx(STD_PRODUCT*, const char*, int, const char*) {
    return nullptr;
}
float** fnGetStdProductDataByIdxDBZ(STD_PRODUCT*, const char*, int) {
    return nullptr;
}
STD_PRODUCT_DATASET** fnInitStdDataset(const char*, int, int) {
    return nullptr;
}
void fnFreeStdDataset(STD_PRODUCT_DATASET**, int, int) {}
int fnGetStdDataIdx(STD_PRODUCT_DATASET*, const char*) {
    return -1;
}
int fnAddStdDatasetToData(STD_PRODUCT_DATASET*, const char*, const float*, int, int) {
    return 0;
}
