// Writes a synthetic composite tree for the demo under ROOT at time TM: a squall line with
// three convective cells ahead of a stratiform area over the peninsula, seen by a network
// of radars (coverage circles), as every composite kind: the 1 km composite (CAPPI, CMAX,
// ETOP, VIL), the 3 km and wide-area composites, a six-hour forecast moving the system
// east-north-east, a ten-minute forecast of the leads 0, 1, 3 and 6 hours, and the hour's
// weather-station file.
//   compview_demo_tree ROOT YYYYMMDDHHMI
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/composite_forecast_writer.h"
#include "testing/composite_station_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Radars of the network, km east and south of the composite's left-upper corner.
constexpr double kRadars[][2] = {{485, 462}, {470, 715}, {679, 713}, {610, 480},
                                 {750, 380}, {449, 900}, {300, 560}, {560, 600}};
constexpr double kRangeKm = 250.0;

bool covered(double x, double y) {
    for (const auto& r : kRadars) {
        if (std::hypot(x - r[0], y - r[1]) < kRangeKm) {
            return true;
        }
    }
    return false;
}

double distanceToSegment(double x, double y, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

// Reflectivity at (x km east, y km south of the composite's corner) after `hours`; below 5
// dBZ there is no echo (NaN).
double reflectivity(double x, double y, double hours) {
    x -= 40.0 * hours;  // the system moves east-north-east
    y += 15.0 * hours;
    const double stratiform = 28.0 * std::exp(-std::pow(std::hypot(x - 430, y - 640) / 190.0, 2));
    const double line =
        40.0 * std::exp(-std::pow(distanceToSegment(x, y, 300, 800, 640, 330) / 28.0, 2));
    double cells = 0.0;
    for (const auto& c :
         {std::pair{390.0, 690.0}, std::pair{470.0, 575.0}, std::pair{555.0, 455.0}}) {
        cells = std::max(
            cells, 56.0 * std::exp(-std::pow(std::hypot(x - c.first, y - c.second) / 24.0, 2)));
    }
    const double v = std::max({stratiform, line, cells});
    return v < 5.0 ? NAN : v;
}

double rainRate(double dbz) {
    return std::pow(std::pow(10.0, dbz / 10.0) / 200.0, 1.0 / 1.6);
}

std::string g_root, g_time;

std::string dataPath(const std::string& name) {
    const std::string dir =
        g_root + "/DATA/RDR/COMP/" + g_time.substr(0, 6) + "/" + g_time.substr(6, 2);
    std::filesystem::create_directories(dir);
    return dir + "/" + name + "_" + g_time + ".bin.gz";
}

bool writeGzip(const std::string& path, const Bytes& bytes) {
    gzFile gz = gzopen(path.c_str(), "wb6");
    if (gz == nullptr) {
        return false;
    }
    const bool ok = gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                    static_cast<int>(bytes.size());
    return gzclose(gz) == Z_OK && ok;
}

// rows x columns cells of cellKm, the southern row first; cell(out, x km, y km) appends one.
template <class Cell>
Bytes grid(int rows, int columns, double cellKm, Cell cell) {
    Bytes out;
    for (int f = rows - 1; f >= 0; --f) {
        for (int c = 0; c < columns; ++c) {
            cell(out, (c + 0.5) * cellKm, (f + 0.5) * cellKm);
        }
    }
    return out;
}

void putInt16(Bytes& out, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    out.push_back(static_cast<unsigned char>(u >> 8));
    out.push_back(static_cast<unsigned char>(u & 0xFF));
}

void putFloat(Bytes& out, float v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    out.insert(out.end(), b, b + 4);
}

// The 1 km byte composite of one quantity of the reflectivity (NaN: no echo).
template <class Quantity>
Bytes byteComposite(Quantity q) {
    return grid(1200, 960, 1.0, [&](Bytes& o, double x, double y) {
        const double dbz = reflectivity(x, y, 0.0);
        const int v = !covered(x, y) ? -128 : std::isnan(dbz) ? -127 : static_cast<int>(q(dbz));
        const int stored = !covered(x, y) || std::isnan(dbz) ? v : std::clamp(v, -126, 127);
        o.push_back(static_cast<unsigned char>(static_cast<int8_t>(stored)));
    });
}

int hundredths(double x, double y, double hours) {
    const double dbz = reflectivity(x, y, hours);
    return !covered(x, y)    ? -32768
           : std::isnan(dbz) ? -32767
                             : static_cast<int>(rainRate(dbz) * 100.0 + 0.5);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[2]) != 12) {
        std::fprintf(stderr, "usage: compview_demo_tree ROOT YYYYMMDDHHMI\n");
        return 2;
    }
    g_root = argv[1];
    g_time = argv[2];
    bool ok = writeGzip(dataPath("RDR_CMP_CAPPI_NOQC"), byteComposite([](double d) { return d; }));
    ok = ok &&
         writeGzip(dataPath("RDR_CMP_CMAX_NOQC"), byteComposite([](double d) { return d + 3.0; }));
    ok = ok && writeGzip(dataPath("RDR_CMP_ETOP_NOQC"),
                         byteComposite([](double d) { return 1.0 + d / 5.0; }));
    ok =
        ok && writeGzip(dataPath("RDR_CMP_VIL_NOQC"), byteComposite([](double d) {
                            return 3.44e-6 * std::pow(std::pow(10.0, d / 10.0), 4.0 / 7.0) * 4000.0;
                        }));
    Bytes c480 = grid(576, 526, 3.0, [](Bytes& o, double x, double y) {
        const double dbz = reflectivity(x, y, 0.0);
        putFloat(o, std::isnan(dbz) ? -9999.0f : static_cast<float>(rainRate(dbz)));
    });
    const Bytes mask = grid(
        576, 526, 3.0, [](Bytes& o, double x, double y) { o.push_back(covered(x, y) ? 1 : 0); });
    c480.insert(c480.end(), mask.begin(), mask.end());
    ok = ok && writeGzip(dataPath("RDR_CMP480"), c480);
    ok =
        ok && writeGzip(dataPath("RDR_KCJ"), grid(1101, 751, 3.0, [](Bytes& o, double x, double y) {
                            putInt16(o, hundredths(x, y, 0.0));
                        }));
    ok =
        ok && comp_test::writeVsrfFile(dataPath("RDR_VSRF"), 960, 1200, 7, [](int g, int f, int c) {
            return static_cast<int16_t>(hundredths(c + 0.5, 1199 - f + 0.5, g));
        });
    std::map<int, comp_test::MapleValue> fields;
    for (int hours : {0, 1, 3, 6}) {
        fields[hours == 0 ? 36 : hours * 6 - 1] = [hours](int m, int c) {
            const double x = c - 26 + 0.5, y = m + 148 + 0.5;
            const double dbz = reflectivity(x, y, hours);
            // No rain is 0 (read as -9998); MAPLE knows no coverage.
            return std::isnan(dbz) ? 0.0f : static_cast<float>(rainRate(dbz));
        };
    }
    ok = ok && comp_test::writeMapleFile(dataPath("RDR_MAPLE"), 37, fields, false);
    comp_test::writeStationFile(g_root, g_time,
                                {{61, 37.57f, 126.98f},
                                 {63, 37.26f, 127.03f},
                                 {80, 36.64f, 127.49f},
                                 {71, 37.75f, 128.90f},
                                 {3, 35.87f, 128.60f},
                                 {2, 35.18f, 129.07f},
                                 {10, 33.50f, 126.53f},
                                 {68, 37.90f, 127.73f},
                                 {95, 36.35f, 127.38f}});
    if (!ok) {
        std::fprintf(stderr, "compview_demo_tree: cannot write under %s\n", g_root.c_str());
        return 1;
    }
    return 0;
}
