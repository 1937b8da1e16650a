// The siteview query: what one request asks for, and the parser that bounds and checks every
// value before anything else sees it. Names come from fixed tables (sites, products,
// fields), numbers from digits only, the time must be a real date; anything else refuses
// the whole request with a reason in words.
#ifndef SITEVIEW_SITE_REQUEST_H
#define SITEVIEW_SITE_REQUEST_H

#include <cstddef>

// Bounds of the query text. Beyond them a request is refused, never cut.
constexpr size_t kSvMaxQueryLength = 512;
constexpr int kSvMaxPairs = 24;
constexpr size_t kSvMaxKeyLength = 16;
constexpr size_t kSvMaxValueLength = 24;

// A reason fits in one line of the no-data image.
constexpr size_t kSvReasonSize = 96;

enum class SvProduct { Ppi, Cappi, Cmax, Base, Etop, Vil, Cross };

struct SvRequest {
    const char* site;  // code from the site table (static storage)
    SvProduct product;
    const char* product_name;            // "PPI", ... (static storage)
    const char* field;                   // requested field, "DZ", ... (static storage)
    int year, month, day, hour, minute;  // requested volume time, KST
    int window_km;                       // half width of the image: 240 or 480
    int sweep;                           // PPI: sweep index, lowest first
    int height_m;                        // CAPPI: height above the antenna, m
    bool rings, map, stations;
    // Cross-section end points, degrees.
    double lon1, lat1, lon2, lat2;
};

// The request's defaults: no site, product or time (they are required), field DZ, window
// 240 km, sweep 0, CAPPI at 1500 m, rings and map on, stations off.
void svDefaultRequest(SvRequest* req);

// Parses a query string (taken as it stands: no percent decoding). 0 when every pair was
// valid and the required keys are present; -1 otherwise, with the first reason in reason
// (kSvReasonSize bytes; plain words, never the offending value). req keeps the valid pairs
// read before the refusal.
int svParseQuery(const char* qs, SvRequest* req, char* reason);

// Number of sites siteview serves, and the code of site i (null outside the table).
int svSiteCount();
const char* svSiteCode(int i);

// The field read from the volume for a requested field: rain rate ("RN") is derived from
// reflectivity ("DZ"); other fields are read as they are named.
const char* svVolumeField(const char* field);

// True for reflectivity fields (values in dBZ), which interpolate and sum as Z.
bool svIsReflectivity(const char* field);

#endif
