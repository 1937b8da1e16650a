// The two codes every product grid and image grid carries besides values.
#ifndef RDR_GRID_CODES_H
#define RDR_GRID_CODES_H

constexpr float RDR_GRID_NO_DATA = -9999.0f;    // inside the coverage, no value
constexpr float RDR_GRID_OUT_BOUND = -9998.0f;  // outside the radar's range

#endif
