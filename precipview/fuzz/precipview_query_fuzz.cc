// Fuzzes the query parser and the requested time: any query must be either refused or
// stored within its fields' bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_layers.h"
#include "precipview_state.h"
#include "request.h"
#include "time_seq.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string qs(reinterpret_cast<const char*>(bytes), size);
    qs = qs.c_str();  // the environment cannot hold NUL bytes
    INPUT_VAR v;
    char tm[kTimeTextSize];
    pv_set_defaults(&v, tm);
    v.seq_now = time2seq(2024, 6, 1, 12, 0, 'm');
    int rc = pv_parse_query(qs.c_str(), &v, tm);
    // Every text field stays terminated inside its array.
    for (const char* f : {v.cmp, v.qcd, v.obs, v.map, v.color, v.gis}) {
        if (std::strlen(f) >= 8) {
            std::abort();
        }
    }
    if (std::strlen(v.zoom_x) >= 16 || std::strlen(v.zoom_y) >= 16 ||
        std::strlen(tm) >= static_cast<size_t>(kTimeTextSize)) {
        std::abort();
    }
    if (rc == kQueryOk && pv_request_time(&v, tm) == 0) {
        int YY, MM, DD, HH, MI;
        seq2time(v.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
        if (v.seq % 5 != 0 || MM < 1 || MM > 12 || DD < 1 || HH > 23 || MI > 59) {
            std::abort();
        }
        var = v;
        var.NX = 1152;
        var.NY = 1440;
        pv_zoom_path(1152.0f, 1440.0f, 0.0f, 0.0f, false);
        pv_zoom_path(1152.0f, 1440.0f, 0.0f, 0.0f, true);
    }
    return 0;
}
