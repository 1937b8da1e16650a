// Request state of the precipitation-type image program. One process serves one request,
// so the request record, the decoded grids and the station table are process-wide.
#ifndef PRECIPVIEW_STATE_H
#define PRECIPVIEW_STATE_H

#include <cstdint>

struct INPUT_VAR {
    int seq_now;  // current local time, minutes since 1900
    int seq;      // time of the data file in use, minutes since 1900
    char cmp[8];
    char qcd[8];
    char obs[8];         // product name
    char map[8];         // map-window name
    int x1, y1, x2, y2;  // cross-section end points, km in the map window
    char color[8];
    float grid;
    int zoom_level;
    int zoom_rate;
    char zoom_x[16];
    char zoom_y[16];
    char auto_man;
    int size;  // width of the map area in pixels
    int legend;
    int aws;  // station overlay mode
    int sms;
    char gis[8];   // layer letters, 'T' = topography
    int griddisp;  // 0 nearest cell, otherwise bilinear
    int rnexdisp;
    int num_aws_stn, num_area_stn;
    int NX, NY;  // map window, km
    int SX, SY;  // projection origin inside the map window, km from its south-west corner
    int NI, NJ;  // map area, pixels
    int GI, GJ;  // whole image, pixels
    int num_color;
    int num_color_topo;
    char fname[256];  // rooted path; wider than the historical 120 bytes so deep roots fit
    int dir_mode;
};

// Time stamp of the analysis-file header (7 bytes on disk).
struct TIME_SS {
    int16_t YY;
    int8_t MM, DD, HH, MI, SS;
};

// Header of an analysis file (64 packed little-endian bytes on disk).
struct RDR_CMP_HEAD {
    int8_t version;
    int16_t ptype;
    TIME_SS tm;
    TIME_SS tm_in;
    int8_t num_stn;
    int8_t map_code;
    int8_t map_etc;
    int16_t nx, ny, nz;
    int16_t dxy, dz, z_min;
    int8_t num_data;
    char data_code[16];
    char etc[15];
};

// One automatic weather station of the overlay.
struct STN_VAL {
    char gov_cd[8];
    int stn_id;
    char stn_ko[32];  // EUC-KR
    char stn_sp[8];
    float x, y;  // km from the window's south-west corner (scaled after zoom)
    float ht;
    float d;       // list-building state, then the label value; -999 = none
    float wd, ws;  // 10-minute wind direction (deg) and speed (m/s); -999 = none
    int16_t re;    // rain in the last 15 minutes: 1 yes, 0 no, -999 unknown
    int16_t re_ok;
    int16_t re_base;
    int16_t rn_15x;  // latest 15-minute rain, 0.1 mm; -999 = none
};

constexpr int kMaxStations = 2000;

// Why the request cannot be served, in words for the error image and the server log. The
// first reason given wins; callers never put a server path into it.
void pv_refuse(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
const char* pv_refusal();
void pv_clear_refusal();

extern INPUT_VAR var;
extern RDR_CMP_HEAD rdr_cmp_head;
extern float** data;         // value grid, ny x nx (value products)
extern unsigned char** pty;  // type grid, ny x nx (type products, second pass)
extern STN_VAL stn_data[kMaxStations];

// Frees the grids and clears every record, as at process start (tests and fuzzers serve
// several requests in one process).
void pv_reset_state();

// Product kinds.
bool pv_is_type_product(const char* obs);   // RNEX, AREA, names containing RNSN
bool pv_is_known_product(const char* obs);  // one of the eight products served

#endif
