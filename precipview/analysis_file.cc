#include "analysis_file.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "map_window.h"
#include "nr_alloc.h"
#include "owned_handle.h"
#include "rdr_root.h"
#include "time_seq.h"

extern int pv_data_rows, pv_data_cols, pv_pty_rows, pv_pty_cols;

namespace {

using GzCloser = rdr::ReleaseWith<rdr::closeGz>;
using GzFile = std::unique_ptr<gzFile_s, GzCloser>;

int16_t le16(const unsigned char* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

void decode_time(const unsigned char* p, TIME_SS* t) {
    t->YY = le16(p);
    t->MM = static_cast<int8_t>(p[2]);
    t->DD = static_cast<int8_t>(p[3]);
    t->HH = static_cast<int8_t>(p[4]);
    t->MI = static_cast<int8_t>(p[5]);
    t->SS = static_cast<int8_t>(p[6]);
}

// Reads exactly n bytes; false on a short stream or a decompression error.
bool read_exact(gzFile gz, void* buf, size_t n) {
    // gzread moves at most INT_MAX bytes per call; the largest grid is far below.
    int got = gzread(gz, buf, static_cast<unsigned>(n));
    return got >= 0 && static_cast<size_t>(got) == n;
}

// Skips n bytes forward by reading them, so that a stream ending early is noticed here.
bool skip_bytes(gzFile gz, size_t n) {
    std::vector<unsigned char> scratch(std::min<size_t>(n, 128 * 1024));
    while (n > 0) {
        size_t chunk = std::min(n, scratch.size());
        if (!read_exact(gz, scratch.data(), chunk)) {
            return false;
        }
        n -= chunk;
    }
    return true;
}

// Identity of a file's content as far as one process can tell.
struct FileStamp {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long mtime_ns = 0;
    bool operator==(const FileStamp& o) const {
        return valid == o.valid && dev == o.dev && ino == o.ino && size == o.size &&
               mtime_ns == o.mtime_ns;
    }
};

FileStamp stamp_of(const char* path) {
    struct stat st {};
    FileStamp f;
    if (stat(path, &st) == 0) {
        f.valid = true;
        f.dev = st.st_dev;
        f.ino = st.st_ino;
        f.size = st.st_size;
        f.mtime_ns = st.st_mtim.tv_sec * 1000000000L + st.st_mtim.tv_nsec;
    }
    return f;
}

// The type grid of the last value-product read; its rows lie in one block (cmatrix).
struct TypeGridCache {
    FileStamp stamp;
    int nx = 0, ny = 0;
    unsigned char** rows = nullptr;

    void clear() {
        if (rows != nullptr) {
            free_cmatrix(rows, 0, ny - 1, 0, nx - 1);
        }
        *this = TypeGridCache();
    }
};
TypeGridCache g_type_cache;

// Byte offset of the int16 value grid of a product from the end of the header.
size_t value_grid_offset(const char* obs, size_t cells) {
    if (std::strcmp(obs, "TW") == 0) {
        return 2 * cells;
    }
    if (std::strcmp(obs, "HSR") == 0) {
        return 4 * cells;
    }
    if (std::strcmp(obs, "RN15X") == 0) {
        return 6 * cells;
    }
    return 0;
}

void alloc_data(int ny, int nx) {
    if (data != nullptr) {
        free_matrix(data, 0, pv_data_rows - 1, 0, pv_data_cols - 1);
    }
    data = matrix(0, ny - 1, 0, nx - 1);
    pv_data_rows = ny;
    pv_data_cols = nx;
}

void alloc_pty(int ny, int nx) {
    if (pty != nullptr) {
        free_cmatrix(pty, 0, pv_pty_rows - 1, 0, pv_pty_cols - 1);
    }
    pty = cmatrix(0, ny - 1, 0, nx - 1);
    pv_pty_rows = ny;
    pv_pty_cols = nx;
}

}  // namespace

void pv_domain_origin(int map_code, int* ox, int* oy) {
    switch (map_code) {
        case 1:
            *ox = 560;
            *oy = 840;
            break;
        case 2:
            *ox = 800;
            *oy = 1000;
            break;
        case 3:
            *ox = 440;
            *oy = 770;
            break;
        default:
            *ox = 0;
            *oy = 0;
            break;
    }
}

bool pv_decode_head(const unsigned char* raw, RDR_CMP_HEAD* head) {
    std::memset(head, 0, sizeof *head);
    head->version = static_cast<int8_t>(raw[0]);
    head->ptype = le16(raw + 1);
    decode_time(raw + 3, &head->tm);
    decode_time(raw + 10, &head->tm_in);
    head->num_stn = static_cast<int8_t>(raw[17]);
    head->map_code = static_cast<int8_t>(raw[18]);
    head->map_etc = static_cast<int8_t>(raw[19]);
    head->nx = le16(raw + 20);
    head->ny = le16(raw + 22);
    head->nz = le16(raw + 24);
    head->dxy = le16(raw + 26);
    head->dz = le16(raw + 28);
    head->z_min = le16(raw + 30);
    head->num_data = static_cast<int8_t>(raw[32]);
    std::memcpy(head->data_code, raw + 33, 16);
    std::memcpy(head->etc, raw + 49, 15);
    return head->nx >= 1 && head->nx <= kMaxGridSide && head->ny >= 1 && head->ny <= kMaxGridSide &&
           head->dxy > 0;
}

unsigned char pv_type_rule(const char* obs, unsigned char cell) {
    int a = cell & 0x0f;
    int r = cell >> 4;
    if (std::strcmp(obs, "RNEX") == 0) {
        if (a > 1) {
            return r > 1 ? 4 : 2;
        }
        if (r > 1) {
            return 3;
        }
        return r == 1 ? 1 : 0;
    }
    if (std::strcmp(obs, "RNSN1") == 0) {
        if (a == 0) {
            return static_cast<unsigned char>(r);
        }
        if (a == 1) {
            return 1;
        }
        return static_cast<unsigned char>(r == 0 ? a : r);
    }
    if (std::strcmp(obs, "RNSN2") == 0) {
        return static_cast<unsigned char>(r);
    }
    // RNSN: the AWS type, unless the station saw nothing and the radar did.
    if (a == 0 || (a == 1 && r >= 2)) {
        return static_cast<unsigned char>(r);
    }
    return static_cast<unsigned char>(a);
}

int rdr_sfc_pty_file() {
    int YY, MM, DD, HH, MI;
    seq2time(var.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
    std::string base = rdrRootPath(std::string("/DATA/RDR/OBS"));
    int n = std::snprintf(var.fname, sizeof var.fname,
                          "%s/%04d%02d/%02d/RDR_SFC_PTY_%04d%02d%02d%02d%02d.bin.gz", base.c_str(),
                          YY, MM, DD, YY, MM, DD, HH, MI);
    if (n < 0 || static_cast<size_t>(n) >= sizeof var.fname) {
        var.fname[0] = '\0';
        return -1;
    }
    struct stat st {};
    if (stat(var.fname, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 100) {
        return -1;
    }
    return 0;
}

int rdr_sfc_pty_get() {
    if (grid_map_inf(var.map, &var.NX, &var.NY, &var.SX, &var.SY) != 0) {
        return -4;
    }
    if (var.fname[0] == '\0') {
        return -1;
    }
    GzFile gz(gzopen(var.fname, "rb"));
    if (!gz) {
        return -1;
    }
    gzbuffer(gz.get(), 64 * 1024);
    unsigned char raw[kHeadSize];
    if (!read_exact(gz.get(), raw, sizeof raw)) {
        return -3;
    }
    if (!pv_decode_head(raw, &rdr_cmp_head)) {
        return -2;
    }
    const int nx = rdr_cmp_head.nx;
    const int ny = rdr_cmp_head.ny;
    const size_t cells = static_cast<size_t>(nx) * static_cast<size_t>(ny);
    const FileStamp stamp = stamp_of(var.fname);

    if (!pv_is_type_product(var.obs)) {
        alloc_data(ny, nx);
        const bool wet_bulb = std::strcmp(var.obs, "TW") == 0;
        const size_t offset = value_grid_offset(var.obs, cells);
        std::vector<unsigned char> bytes;
        if (offset >= cells) {
            // The type grid passes by on the way; the second pass of the rain products
            // takes it from here instead of inflating the file again.
            g_type_cache.clear();
            unsigned char** rows = cmatrix(0, ny - 1, 0, nx - 1);
            if (!read_exact(gz.get(), rows[0], cells)) {
                free_cmatrix(rows, 0, ny - 1, 0, nx - 1);
                return -3;
            }
            g_type_cache.stamp = stamp;
            g_type_cache.nx = nx;
            g_type_cache.ny = ny;
            g_type_cache.rows = rows;
            if (!skip_bytes(gz.get(), offset - cells)) {
                return -3;
            }
        } else if (!skip_bytes(gz.get(), offset)) {
            return -3;
        }
        // Rows come through a small buffer: the whole grid at once would cost its pages.
        const int chunk_rows =
            std::max(1, static_cast<int>((128 * 1024) / (2 * static_cast<size_t>(nx))));
        bytes.resize(static_cast<size_t>(chunk_rows) * nx * 2);
        for (int j0 = 0; j0 < ny; j0 += chunk_rows) {
            const int rows = std::min(chunk_rows, ny - j0);
            if (!read_exact(gz.get(), bytes.data(), static_cast<size_t>(rows) * nx * 2)) {
                return -3;
            }
            for (int r = 0; r < rows; r++) {
                const unsigned char* src = bytes.data() + static_cast<size_t>(r) * nx * 2;
                float* out = data[j0 + r];
                for (int i = 0; i < nx; i++) {
                    float v = le16(src + 2 * static_cast<size_t>(i)) * 0.01f;
                    out[i] = wet_bulb ? v - 200.0f : v;
                }
            }
        }
        return 0;
    }

    alloc_pty(ny, nx);
    const bool area = std::strcmp(var.obs, "AREA") == 0;
    const unsigned char* grid = nullptr;
    std::vector<unsigned char> bytes;
    if (!area && g_type_cache.rows != nullptr && g_type_cache.stamp.valid &&
        g_type_cache.stamp == stamp && g_type_cache.nx == nx && g_type_cache.ny == ny) {
        grid = g_type_cache.rows[0];  // the rows are one block
    } else {
        if (area && !skip_bytes(gz.get(), cells)) {
            return -3;
        }
        bytes.resize(cells);
        if (!read_exact(gz.get(), bytes.data(), cells)) {
            return -3;
        }
        grid = bytes.data();
    }
    unsigned char lut[256];
    for (int c = 0; c < 256; c++) {
        lut[c] = area ? static_cast<unsigned char>(c)
                      : pv_type_rule(var.obs, static_cast<unsigned char>(c));
    }
    for (int j = 0; j < ny; j++) {
        const unsigned char* src = grid + static_cast<size_t>(j) * nx;
        unsigned char* out = pty[j];
        for (int i = 0; i < nx; i++) {
            out[i] = lut[src[i]];
        }
    }
    return 0;
}

void pv_forget_type_cache() {
    g_type_cache.clear();
}
