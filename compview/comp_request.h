// The compview query: what one request asks for, and the parser that bounds and checks every
// value before anything else sees it. Names come from fixed tables (kinds, products, quality
// controls, units, windows, views), numbers from digits only, the time must be a real date;
// anything else refuses the whole request with a reason in words.
#ifndef COMPVIEW_COMP_REQUEST_H
#define COMPVIEW_COMP_REQUEST_H

#include <cstddef>

// Bounds of the query text. Beyond them a request is refused, never cut.
constexpr size_t kCvMaxQueryLength = 512;
constexpr int kCvMaxPairs = 24;
constexpr size_t kCvMaxKeyLength = 16;
constexpr size_t kCvMaxValueLength = 24;

// A reason fits in one line of the no-data image.
constexpr size_t kCvReasonSize = 96;

// The composite file kinds: the 1 km byte composite, the 3 km float composite with its
// in-bound mask, the 3 km 16-bit wide-area composite, and the two forecast files (one grid
// per hour of lead, one field per ten minutes).
enum class CvKind { Comp240, Comp480, Kcj, Vsrf, Maple };

// What a forecast request draws: the echo at one lead, the storm cells at one lead, the
// rain-rate contours at one lead, or the outlines of the echo at 0, 3 and 6 hours.
enum class CvView { Echo, Cells, Contour, Guide };

// An image, or the value at one point as text.
enum class CvAnswer { Image, Point };

struct CvRequest {
    CvKind kind;
    const char* kind_name;  // "comp240", ... (static storage)
    const char* product;    // comp240: "PPI", "CAPPI", "CMAX", "ETOP", "VIL" (static storage)
    const char* qc;         // comp240: "NOQC", "FUZZYQC", "ORPGQC", "CHAFFQC" (static storage)
    const char* unit;       // "RN", "SN", "CZ", "DZ" (static storage)
    int window;             // index into the window table (comp_window.h)
    int year, month, day, hour, minute;  // requested time, KST (forecasts: the issue time)
    int lead_min;                        // forecasts: lead time, minutes
    CvView view;
    CvAnswer answer;
    bool smooth;      // interpolate between composite cells
    bool shadow;      // comp240: the three-dimensional look
    bool cells;       // composites: outline the storm cells
    bool symbols;     // present-weather symbols of the surface stations
    bool map;         // map lines
    bool legend;      // the colour legend at the right
    double lon, lat;  // point: the place, degrees
};

// The request's defaults: no kind or time (they are required), product CAPPI, NOQC, unit RN,
// the whole-country window, lead 0, the echo view, an image, interpolation, map lines and
// legend on, the other overlays off.
void cvDefaultRequest(CvRequest* req);

// Parses a query string (taken as it stands: no percent decoding). 0 when every pair was
// valid, the required keys are present and the keys fit together; -1 otherwise, with the
// first reason in reason (kCvReasonSize bytes; plain words, never the offending value). req
// keeps the valid pairs read before the refusal.
int cvParseQuery(const char* qs, CvRequest* req, char* reason);

// True when the query asks for a text answer (a pair "answer=point" within the length
// bound), so that even a refused request is answered in the form its client reads.
bool cvWantsText(const char* qs);

// True for the forecast kinds.
bool cvIsForecast(CvKind kind);

// True for the comp240 products drawn in their own unit (ETOP in km, VIL in kg/m2).
bool cvHasOwnUnit(const CvRequest& req);

// Number of kinds and the name of kind i (null outside the table).
int cvKindCount();
const char* cvKindName(int i);

// The units, and whether a unit is reflectivity (dBZ).
int cvUnitCount();
const char* cvUnitName(int i);
bool cvIsReflectivityUnit(const char* unit);

#endif
