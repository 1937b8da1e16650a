// The lgtview query: what one request asks for, and the parser that bounds and checks every
// value before anything else sees it. Names come from fixed tables (products, map windows,
// file layouts), numbers from digits only, the time must be a real date; anything else
// refuses the whole request with a reason in words.
#ifndef LGTVIEW_LGT_REQUEST_H
#define LGTVIEW_LGT_REQUEST_H

#include <cstddef>

constexpr size_t kLvMaxQueryLength = 512;
constexpr int kLvMaxPairs = 16;
constexpr size_t kLvMaxKeyLength = 16;
constexpr size_t kLvMaxValueLength = 24;
constexpr size_t kLvReasonSize = 96;

// Bounds of the numeric keys.
constexpr int kLvMaxIntervalMinutes = 1440;  // time products: minutes per colour class
constexpr int kLvMaxAreaDays = 31;           // LGTAREA: days of the period
constexpr int kLvMinLegendHeight = 100;
constexpr int kLvMaxLegendHeight = 2000;

enum class LvProduct { Time, Intensity, Area, World };
enum class LvLayout { Nx1, Vyq };

struct LvRequest {
    LvProduct product;
    const char* product_name;            // "LGTTIME", ... (static storage)
    int year, month, day, hour, minute;  // end of the window, KST
    int interval;     // minutes per age class (LGTTIME, LGTVWORLD), window minutes (LGTINTN),
                      // days (LGTAREA)
    const char* map;  // map window name (static storage)
    LvLayout layout;
    bool legend;  // the legend image alone
    int height;   // legend height, pixels; 0 = the height of the map image's legend
};

void lvDefaultRequest(LvRequest* req);

// Parses a query string (taken as it stands: no percent decoding). 0 when every pair was
// valid and the required keys are present; -1 otherwise with the first reason in reason
// (kLvReasonSize bytes; plain words, never the offending value).
int lvParseQuery(const char* qs, LvRequest* req, char* reason);

#endif
