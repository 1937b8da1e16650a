// Surface precipitation-type analysis files: name, search test, header and grid decoding.
#ifndef PRECIPVIEW_ANALYSIS_FILE_H
#define PRECIPVIEW_ANALYSIS_FILE_H

#include <cstddef>

#include "precipview_state.h"

constexpr int kHeadSize = 64;
// Largest grid accepted from a header, cells per side.
constexpr int kMaxGridSide = 4096;
// Decoded values at or below this mean no data.
constexpr float kNoValue = -299.999f;

// Builds var.fname from var.seq; 0 when the file exists and holds more than 100 bytes.
int rdr_sfc_pty_file();

// Reads the map window and the grid var.obs names from var.fname. 0 on success; -1 when the
// file cannot be opened, -2 for a header outside the accepted ranges, -3 for a short file,
// -4 for an unknown map window.
int rdr_sfc_pty_get();

// Drops the type grid kept from the last value-product read (tests rewrite files).
void pv_forget_type_cache();

// Decodes the 64-byte header; false when a field is outside the accepted ranges
// (nx, ny in 1..kMaxGridSide, dxy > 0).
bool pv_decode_head(const unsigned char* raw, RDR_CMP_HEAD* head);

// One cell of the precipitation-type grid by the rule of a type product.
unsigned char pv_type_rule(const char* obs, unsigned char cell);

// Projection origin inside the data grid for a domain code, km from its south-west corner.
void pv_domain_origin(int map_code, int* ox, int* oy);

#endif
