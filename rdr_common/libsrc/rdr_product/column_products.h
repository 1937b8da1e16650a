// Column products of a volume, each derived cell by cell from the PPIs of all sweeps:
// BASE (lowest sweep with data), CMAX (column maximum) and ETOP (height of the highest
// sweep above a threshold), with their quality-index forms (the "QI" moment of a second
// volume, taken from the sweep the product chose) and the reflectivity shortcuts that try
// "CZ" and then "DZ". Every function returns a new iYdim x iXdim row-major grid (free()),
// -9999 where there is no result, or null on failure.
#ifndef RDR_COLUMN_PRODUCTS_H
#define RDR_COLUMN_PRODUCTS_H

#include "standard_volume.h"

float* fnCreateBase(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    char* szFieldName, STD_AZIMUTH_TBL** ppTable);
float* fnCreateCmax(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    char* szFieldName, STD_AZIMUTH_TBL** ppTable);
float* fnCreateEtop(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    float fEtopMinThreshold, char* szFieldName, STD_AZIMUTH_TBL** ppTable);

float* fnCreateBaseQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable);
float* fnCreateCmaxQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable);
float* fnCreateEtopQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, float fEtopMinThreshold, char* szFieldName,
                      STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable);

float* fnCreateBaseQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable);
float* fnCreateCmaxQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable);
float* fnCreateEtopQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, float fEtopMinThreshold,
                           STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable);

#endif
