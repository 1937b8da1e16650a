// The radar sites the boundary-line tool knows, with their positions.
#ifndef SITEBLN_SITE_TABLE_H
#define SITEBLN_SITE_TABLE_H

// Longest code in the table; longer arguments cannot match.
constexpr int kBlnMaxSiteCode = 4;

// Looks the code up (whole-string match, first entry wins). Returns 0 and fills the
// longitude and latitude (degrees), or -1 for an unknown code.
int rdr_position(const char* szCode, float* pfLon, float* pfLat);

// Number of table entries and the code of entry i, for tools that run every site.
int fnBlnSiteCount();
const char* fnBlnSiteCode(int i);

#endif
