// Fuzzes the readers of the program's files: the analysis file (then drawn small), the
// station lists and the map-window table. The first byte picks the reader and product.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "analysis_file.h"
#include "aws_overlay.h"
#include "fuzz_check.h"
#include "image_layers.h"
#include "map_window.h"
#include "precipview_state.h"
#include "time_seq.h"

namespace {

std::string g_root;

void put(const std::string& rel, const char* bytes, size_t n) {
    std::filesystem::path p = g_root + rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(bytes, static_cast<std::streamsize>(n));
}

void put(const std::string& rel, const std::string& text) {
    put(rel, text.data(), text.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/precipview-fuzz.XXXXXX";
    FUZZ_CHECK(mkdtemp(tmpl) != nullptr);
    g_root = tmpl;
    // The fixture tree lives as long as the process.
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_root, ec);
    });
    setenv("RDR_ROOT", g_root.c_str(), 1);
    put("/rdr/REF/MAP/map.ini", "HR:1152:1440:560:840\nKM:800:1000:400:700\nT:3:2:-5:7\n");
    put("/rdr/REF/COLOR/color_rn_echo.rgb", "250 250 250 0.0\n0 200 255 0.1\n255 0 0 10.0\n");
    put("/rdr/REF/COLOR/color_ta_e30.rgb", "0 0 255 -5\n255 0 0 5\n");
    put("/Q7T5_DATA/STN/stn_obs.csv", "108,2099123123,2000010100,A,,SA,,V\n");
    put("/Q7T5_DATA/STN/stn_obs_sensor.csv", "108,,RN,,2099123123,2000010100\n");
    put("/Q7T5_DATA/STN/stn_obs_loc.csv", "108,,2099123123,2000010100,37.5,127.0,30\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1) {
        return 0;
    }
    static const char* const kProducts[] = {"RNEX", "RNSN", "RNSN1", "RNSN2",
                                            "AREA", "TW",   "HSR",   "RN15X"};
    static const char* const kMaps[] = {"HR", "KM", "T"};
    static const char* const kStationFiles[] = {"/Q7T5_DATA/STN/stn_obs.csv",
                                                "/Q7T5_DATA/STN/stn_obs_sensor.csv",
                                                "/Q7T5_DATA/STN/stn_obs_loc.csv"};
    const uint8_t pick = bytes[0];
    const char* body = reinterpret_cast<const char*>(bytes + 1);
    const size_t n = size - 1;
    pv_reset_state();
    var.seq = time2seq(2024, 6, 1, 12, 0, 'm');
    var.legend = 1;
    var.zoom_rate = 2;
    var.rnexdisp = 1 + (pick >> 7);
    var.griddisp = (pick >> 6) & 1;
    std::snprintf(var.map, sizeof var.map, "%s", kMaps[(pick >> 3) % 3]);

    if ((pick & 0x30) == 0x30) {
        // Station lists or map table: write the input in place of one file, read them all.
        int which = pick % 4;
        if (which == 3) {
            put("/rdr/REF/MAP/map.ini", body, n);
            int nx = 0, ny = 0, sx = 0, sy = 0;
            grid_map_inf("HR", &nx, &ny, &sx, &sy);
            grid_map_inf("KM", &nx, &ny, &sx, &sy);
            put("/rdr/REF/MAP/map.ini", "HR:1152:1440:560:840\nKM:800:1000:400:700\nT:3:2:-5:7\n");
            return 0;
        }
        std::string keep;
        {
            std::ifstream in(g_root + kStationFiles[which], std::ios::binary);
            keep.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        put(kStationFiles[which], body, n);
        var.SX = 560;
        var.SY = 840;
        aws_info_get(var.seq);
        put(kStationFiles[which], keep);
        return 0;
    }

    std::snprintf(var.obs, sizeof var.obs, "%s", kProducts[pick % 8]);
    std::snprintf(var.fname, sizeof var.fname, "%s/analysis.bin.gz", g_root.c_str());
    put("/analysis.bin.gz", body, n);
    if (rdr_sfc_pty_get() != 0) {
        return 0;
    }
    // A grid is only read under a header inside the accepted ranges.
    FUZZ_CHECK(rdr_cmp_head.nx >= 1 && rdr_cmp_head.nx <= kMaxGridSide);
    FUZZ_CHECK(rdr_cmp_head.ny >= 1 && rdr_cmp_head.ny <= kMaxGridSide);
    FUZZ_CHECK(rdr_cmp_head.dxy > 0);
    if (std::strcmp(var.obs, "HSR") == 0 || std::strcmp(var.obs, "RN15X") == 0) {
        char kept[sizeof var.obs];
        std::memcpy(kept, var.obs, sizeof kept);
        std::snprintf(var.obs, sizeof var.obs, "RNSN");
        int rc = rdr_sfc_pty_get();
        std::memcpy(var.obs, kept, sizeof kept);
        if (rc != 0) {
            return 0;
        }
    }
    var.size = 100 + (pick & 0x0f) * 7;
    if (pick & 0x20) {
        var.zoom_level = 1;
        std::snprintf(var.zoom_x, sizeof var.zoom_x, "%d", 1 + pick % 9);
        std::snprintf(var.zoom_y, sizeof var.zoom_y, "%d", 1 + (pick / 9) % 9);
    }
    gdImagePtr im = pv_draw_image();
    if (im != nullptr) {
        // The image is the map area plus the title strip and the legend.
        FUZZ_CHECK(gdImageSX(im) == var.size + 35 && gdImageSY(im) == var.NJ + 20);
        gdImageDestroy(im);
    }
    return 0;
}
