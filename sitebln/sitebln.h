// Boundary-line files for one radar site: the four national map-line files projected onto
// the 1000 km x 1000 km grid around the site and clipped to it.
#ifndef SITEBLN_SITEBLN_H
#define SITEBLN_SITEBLN_H

#include <string>

constexpr int kBlnMapCount = 4;
constexpr int kBlnGridSize = 1000;

// Installation path of map-line input iMapIndex (0..3), before the RDR_ROOT prefix.
const char* fnBlnMapPath(int iMapIndex);

// Rooted output path of map iMapIndex (0..3) for the site, numbered 1..4 in the name.
std::string fnBlnOutputPath(const char* szCode, int iMapIndex);

// Writes the four output files (creating their folder when missing), each through a temporary file
// renamed into place after a complete write. A map file that cannot be opened leaves that output as
// it was. Returns 0, or -1 when an output could not be created or written (reported on standard
// error).
int sitebln(const char* szCode, float fLon, float fLat);

#endif
