// One national map-line text file to clipped, projected boundary-line runs.
//
// Input: polylines, each a header "COUNT TYPE" and COUNT points "LON LAT" (degrees).
// Output runs (host byte order, little-endian): int32 point count, int32 type code, then
// count pairs of float32 grid x, y. A run is one stretch of a polyline inside the box
// [0, width] x [0, height]; a stretch that enters or leaves through the border starts or
// ends on it.
#ifndef SITEBLN_BLN_FILE_H
#define SITEBLN_BLN_FILE_H

#include <cstdio>

#include "bln_projection.h"

// Map index whose polylines always get type 3 (rivers).
constexpr int kBlnRiverMap = 1;
// Map index whose type-3 polylines (fine detail) are left out.
constexpr int kBlnFineMap = 3;
constexpr int kBlnFineType = 3;

// Where the segment (x1, y1)-(x2, y2), one end inside the box, crosses the box border.
// The x border is taken when its crossing lies within [0, height], else the y border.
void CrossPoint(float* pfCx, float* pfCy, float x1, float y1, float x2, float y2, int iWidth,
                int iHeight);

// Converts the map file into runs written to out. Returns -1 when the map file cannot be
// opened (nothing written), else 0; write errors show in ferror(out).
int bln_file(FILE* out, int iMapIndex, const char* szMapPath, int iWidth, int iHeight,
             BLN_AZED_MAP* pMap);

#endif
