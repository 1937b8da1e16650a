// The map-window table "/rdr/REF/MAP/map.ini": name:NX:NY:SX:SY per line, '#' comments.
#ifndef PRECIPVIEW_MAP_WINDOW_H
#define PRECIPVIEW_MAP_WINDOW_H

// Largest map window accepted from the table, km.
constexpr int kMaxWindowKm = 10000;

// Looks map up. 0 when found with a usable window (the four values set); 1 when the name is
// not in the table or its line is unusable (the values untouched); -1 when the table cannot
// be opened.
int grid_map_inf(const char* map, int* nx, int* ny, int* sx, int* sy);

#endif
