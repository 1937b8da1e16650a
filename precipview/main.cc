// precipview: answers a web query with a PNG of the surface precipitation-type analysis.
#include <malloc.h>

#include <cstdio>
#include <cstring>

#include "analysis_file.h"
#include "image_layers.h"
#include "precipview_state.h"
#include "request.h"
#include "time_seq.h"

int main() {
    // One short request: keep freed blocks for reuse instead of returning them to the system
    // and faulting fresh pages in again (grids and scratch buffers of several megabytes).
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::fputs("HTTP/1.0 200 OK\r\n", stdout);

    int err = 0;
    if (user_input() < 0) {
        err = 1;
    }
    // A refused request or a missing file leaves nothing to read.
    if (err == 0 && rdr_sfc_pty_get() < 0) {
        err = 2;
    }
    if (err == 0 && (std::strcmp(var.obs, "HSR") == 0 || std::strcmp(var.obs, "RN15X") == 0)) {
        char kept[sizeof var.obs];
        std::memcpy(kept, var.obs, sizeof kept);
        std::snprintf(var.obs, sizeof var.obs, "RNSN");
        if (rdr_sfc_pty_get() < 0) {
            err = 2;
        }
        std::memcpy(var.obs, kept, sizeof kept);
    }
    if (err == 0 && precipview() < 0) {
        err = 2;
    }
    if (err != 0) {
        if (err == 2) {
            int YY, MM, DD, HH, MI;
            seq2time(var.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
            pv_refuse("the data for %04d-%02d-%02d %02d:%02d cannot be read", YY, MM, DD, HH, MI);
        }
        pv_refuse("the request cannot be served");
        std::fprintf(stderr, "precipview: %s\n", pv_refusal());  // for the server log
        err_img(err);
    }
    return 0;
}
