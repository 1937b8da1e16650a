#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image_layers.h"
#include "precipview_state.h"
#include "rdr_root.h"

namespace {

constexpr int kTopoRows = 1441;
constexpr int kTopoCols = 1153;
constexpr int kTopoHead = 64;
// Projection origin inside the topography grid, km (cells) from its south-west corner.
constexpr int kTopoOriginCol = 560;
constexpr int kTopoOriginRow = 840;

}  // namespace

int topo_disp(gdImagePtr im, int color_lvl[], float data_lvl[]) {
    (void)data_lvl;
    // Mapped rather than read: only the rows the window shows are touched.
    const std::string path = rdrRootPath(std::string("/DATA/GIS/TOPO/SRTM/topo_mapB_1km.bin"));
    const size_t need = kTopoHead + static_cast<size_t>(kTopoRows) * kTopoCols * 2;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(need)) {
        close(fd);
        return -1;  // a short file is as good as none
    }
    void* map = mmap(nullptr, need, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        return -1;
    }
    std::unique_ptr<void, std::function<void(void*)>> unmap(map,
                                                            [need](void* p) { munmap(p, need); });
    const unsigned char* file = static_cast<const unsigned char*>(map) + kTopoHead;

    const float dg = static_cast<float>(var.NX) / static_cast<float>(var.NI);
    ZoomPath z = pv_zoom_path(static_cast<float>(var.NX - 1), static_cast<float>(var.NY - 1), 0.0f,
                              0.0f, false);
    const int row0 = kTopoOriginRow - var.SY;
    const int col0 = kTopoOriginCol - var.SX;

    std::vector<int> cols(static_cast<size_t>(var.NI), -1);
    for (int i = 1; i < var.NI; i++) {
        float x = static_cast<float>(i) * dg / z.zm + z.xo;
        float t = static_cast<float>(col0) + x;
        // The last row and column of the file are not used.
        cols[i] = (t >= 0.0f && t < static_cast<float>(kTopoCols - 1)) ? static_cast<int>(t) : -1;
    }
    const int c151 = color_lvl[kSlotTopo100];
    const int c152 = color_lvl[kSlotTopo500];
    const int c153 = color_lvl[kSlotTopo5000];
    for (int j = 1; j < var.NJ; j++) {
        float y = static_cast<float>(j) * dg / z.zm + z.yo;
        float t = static_cast<float>(row0) + y;
        if (t < 0.0f || t >= static_cast<float>(kTopoRows - 1)) {
            continue;
        }
        int r = static_cast<int>(t);
        const unsigned char* src = file + static_cast<size_t>(r) * kTopoCols * 2;
        unsigned char* line = im->pixels[var.GJ - j];
        for (int i = 1; i < var.NI; i++) {
            int c = cols[i];
            if (c < 0 || line[i] != 0) {
                continue;
            }
            int16_t stored =
                static_cast<int16_t>(static_cast<uint16_t>(src[2 * c] | (src[2 * c + 1] << 8)));
            float h = stored * 0.1f;
            if (h <= 1.0f) {
                continue;
            }
            int colour = h < 100.0f ? c151 : (h < 500.0f ? c152 : (h < 5000.0f ? c153 : -1));
            if (colour >= 0) {
                line[i] = static_cast<unsigned char>(colour);
            }
        }
    }
    return 0;
}
