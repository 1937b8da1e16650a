// VIL: vertically integrated liquid water (kg/m^2) over 1 km layers of real-method CAPPIs
// of a reflectivity moment, at every whole kilometre from iBottom_h_km up to one below
// iTop_h_km (above the radar). Returns a new iYdim x iXdim grid (free()), -9999 where no
// layer contributes, or null (also for more than 1000 layers).
#ifndef RDR_VIL_PRODUCT_H
#define RDR_VIL_PRODUCT_H

#include "standard_volume.h"

float* fnCreateVil(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                   int iTop_h_km, int iBottom_h_km, char* szFieldName, STD_AZIMUTH_TBL** ppTable);

#endif
