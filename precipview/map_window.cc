#include "map_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "rdr_root.h"

namespace {

// Reads one integer field made of an optional sign and digits, with blanks around it.
bool read_int_field(const char* text, int* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) {
        return false;
    }
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') {
        end++;
    }
    if (*end != '\0' || v < -kMaxWindowKm || v > kMaxWindowKm) {
        return false;
    }
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

int grid_map_inf(const char* map, int* nx, int* ny, int* sx, int* sy) {
    char path[512];
    if (rdrRootPath("/rdr/REF/MAP/map.ini", path, sizeof path) == nullptr) {
        return -1;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path, "r"), std::fclose);
    if (!fp) {
        return -1;
    }
    char line[1024];
    while (std::fgets(line, sizeof line, fp.get()) != nullptr) {
        if (line[0] == '#') {
            continue;
        }
        char* fields[5] = {nullptr};
        int n = 0;
        char* save = nullptr;
        for (char* tok = strtok_r(line, ":", &save); tok != nullptr && n < 5;
             tok = strtok_r(nullptr, ":", &save)) {
            fields[n++] = tok;
        }
        if (n < 1 || std::strcmp(fields[0], map) != 0) {
            continue;
        }
        int v[4];
        if (n < 5) {
            return 1;
        }
        for (int k = 0; k < 4; k++) {
            if (!read_int_field(fields[k + 1], &v[k])) {
                return 1;
            }
        }
        // A window without extent cannot be drawn (its sizes divide the pixel scale).
        if (v[0] <= 0 || v[1] <= 0) {
            return 1;
        }
        *nx = v[0];
        *ny = v[1];
        *sx = v[2];
        *sy = v[3];
        return 0;
    }
    return 1;
}
