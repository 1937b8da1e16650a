// Fuzzes the query parser and the requested time: any query must be either refused or
// stored within its fields' bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
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
    const int rc = pv_parse_query(qs.c_str(), &v, tm);
    FUZZ_CHECK(rc == kQueryOk || rc == kQueryRejected);
    FUZZ_CHECK(rc != kQueryOk || qs.size() <= static_cast<size_t>(kMaxQueryLength));
    // Whatever the answer, every stored value is within its field's bounds: names of up to
    // seven characters, digit texts of up to twelve (time) and fifteen (zoom), integers of
    // up to six digits.
    for (const char* f : {v.cmp, v.qcd, v.obs, v.map, v.color, v.gis}) {
        FUZZ_CHECK(std::strlen(f) <= 7);
    }
    FUZZ_CHECK(std::strlen(v.zoom_x) <= 15 && std::strlen(v.zoom_y) <= 15);
    FUZZ_CHECK(std::strlen(tm) <= 12);
    for (int n : {v.x1, v.y1, v.x2, v.y2, v.aws, v.sms, v.zoom_level, v.zoom_rate, v.size, v.legend,
                  v.griddisp, v.rnexdisp, v.dir_mode}) {
        FUZZ_CHECK(n >= -999999 && n <= 999999);
    }
    if (rc == kQueryOk && pv_request_time(&v, tm) == 0) {
        int YY, MM, DD, HH, MI;
        seq2time(v.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
        FUZZ_CHECK(v.seq % 5 == 0);
        FUZZ_CHECK(MM >= 1 && MM <= 12 && DD >= 1 && HH <= 23 && MI <= 59);
        var = v;
        var.NX = 1152;
        var.NY = 1440;
        // At most seven doubling steps (rate 2) or two tripling steps (rate 3).
        for (bool rate2 : {false, true}) {
            const ZoomPath z = pv_zoom_path(1152.0f, 1440.0f, 0.0f, 0.0f, rate2);
            FUZZ_CHECK(z.zm >= 1.0f && z.zm <= 128.0f);
            FUZZ_CHECK(z.xo >= 0.0f && z.xo <= 2 * 1152.0f && z.yo >= 0.0f && z.yo <= 2 * 1440.0f);
        }
    }
    return 0;
}
