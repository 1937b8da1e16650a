// Packing a grid of physical values read from a product file into the rows of its
// moment's memory rule, as both product loaders (ODIM HDF5 and BUFR) do.
#ifndef RDR_ODIM_GRID_PACKING_H
#define RDR_ODIM_GRID_PACKING_H

#include "hdf_radar.h"
#include "info_tables.h"

// The value handed to the memory rule's packing, which truncates in single precision: for
// integer storage, the middle of the stored integer's interval, found in double precision,
// so that 2.37 stored at scale 100 is 237 and not 236.
float physicalForRule(double value, const FIELD_MEM_INFO_TBL& rule);

// Packs iYdim x iXdim physical values (RDR_GRID_NO_DATA and RDR_GRID_OUT_BOUND as codes)
// by the memory rule of szField into pOut's rows and memory type. False when memory runs
// out (pOut then holds no rows).
bool packPhysicalGrid(const float* pPhysical, const char* szField, int iYdim, int iXdim,
                      HDF_PRODUCT_DATA* pOut);

#endif
