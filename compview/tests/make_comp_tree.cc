// Writes the compview test data tree under ROOT: one file of every composite kind with the
// block pattern of cv_pattern.h (the byte composite as CAPPI and ETOP), forecast files with
// every lead the tests ask for, the weather-station file of the hour, and the damaged
// entries the hostile requests meet: a file cut inside its first row, a wide-area composite
// cut halfway, a directory under a file's name, and a forecast with three hours only.
//   compview_fixture_tree ROOT
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cv_pattern.h"
#include "testing/composite_forecast_writer.h"
#include "testing/composite_station_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string g_root;

std::string dataPath(const std::string& name, const std::string& tm) {
    const std::string dir = g_root + "/DATA/RDR/COMP/" + tm.substr(0, 6) + "/" + tm.substr(6, 2);
    std::filesystem::create_directories(dir);
    return dir + "/" + name + "_" + tm + ".bin.gz";
}

bool writeGzip(const std::string& path, const Bytes& bytes) {
    gzFile gz = gzopen(path.c_str(), "wb1");
    if (gz == nullptr) {
        return false;
    }
    const bool ok = gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                    static_cast<int>(bytes.size());
    return gzclose(gz) == Z_OK && ok;
}

// Composite rows of `rows` x `columns` cells, the southern row first: cell(row, column) with
// row 0 the northern row.
void appendRows(Bytes& out, int rows, int columns,
                const std::function<void(Bytes&, int, int)>& cell) {
    for (int f = 0; f < rows; ++f) {
        for (int c = 0; c < columns; ++c) {
            cell(out, rows - 1 - f, c);
        }
    }
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

Bytes byteComposite(const std::function<int(int, int)>& blockValue) {
    Bytes out;
    appendRows(out, 1200, 960, [&](Bytes& o, int row, int column) {
        int i, j;
        cvtest::blockOf(row, column, 1.0, &i, &j);
        const int v = cvtest::blockOutside(i, j)   ? -128
                      : cvtest::blockMissing(i, j) ? -127
                                                   : blockValue(i, j);
        o.push_back(static_cast<unsigned char>(static_cast<int8_t>(v)));
    });
    return out;
}

Bytes floatComposite() {
    Bytes out;
    appendRows(out, 576, 526, [](Bytes& o, int row, int column) {
        int i, j;
        cvtest::blockOf(row, column, 3.0, &i, &j);
        putFloat(
            o, cvtest::blockMissing(i, j) ? -9999.0f : static_cast<float>(cvtest::blockRain(i, j)));
    });
    appendRows(out, 576, 526, [](Bytes& o, int row, int column) {
        int i, j;
        cvtest::blockOf(row, column, 3.0, &i, &j);
        o.push_back(cvtest::blockOutside(i, j) ? 0 : 1);
    });
    return out;
}

Bytes wideComposite() {
    Bytes out;
    appendRows(out, 1101, 751, [](Bytes& o, int row, int column) {
        int i, j;
        cvtest::blockOf(row, column, 3.0, &i, &j);
        putInt16(o, cvtest::blockOutside(i, j) ? -32768
                    : cvtest::blockMissing(i, j)
                        ? -32767
                        : static_cast<int>(std::lround(cvtest::blockRain(i, j) * 100.0)));
    });
    return out;
}

// Forecast value of a 1 km cell at a lead of `hours` (cv_pattern.h); no rain is missing.
double forecastRain(int row, int column, int hours, bool* outside, bool* missing) {
    int i, j;
    cvtest::blockOf(row, column, 1.0, &i, &j);
    *outside = cvtest::blockOutside(i, j);
    *missing = cvtest::blockMissing(i, j) || cvtest::forecastDry(i, j, hours);
    return cvtest::forecastBlockRain(i, j, hours);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compview_fixture_tree ROOT\n");
        return 2;
    }
    g_root = argv[1];
    const std::string tm = cvtest::kTime;
    bool ok = writeGzip(dataPath("RDR_CMP_CAPPI_NOQC", tm), byteComposite([](int i, int j) {
                            return static_cast<int>(cvtest::blockDbz(i, j));
                        }));
    ok = ok && writeGzip(dataPath("RDR_CMP_ETOP_NOQC", tm),
                         byteComposite([](int i, int j) { return 2 + cvtest::blockStep(i, j); }));
    ok = ok && writeGzip(dataPath("RDR_CMP480", tm), floatComposite());
    const Bytes wide = wideComposite();
    ok = ok && writeGzip(dataPath("RDR_KCJ", tm), wide);
    const comp_test::VsrfValue vsrf = [](int grid, int fileRow, int column) {
        bool outside, missing;
        const double rain = forecastRain(1199 - fileRow, column, grid, &outside, &missing);
        return static_cast<int16_t>(outside   ? -32768
                                    : missing ? -32767
                                              : static_cast<int>(std::lround(rain * 100.0)));
    };
    ok = ok && comp_test::writeVsrfFile(dataPath("RDR_VSRF", tm), 960, 1200, 7, vsrf);
    // MAPLE: field row m lands in matrix row m + 148 from field column 26 on; field k holds
    // the lead of (k + 1) x 10 minutes, field 36 the lead 0. Written plain and sparse; no rain
    // is 0 there, which the reader codes -9998 and which is not outside anything.
    std::map<int, comp_test::MapleValue> fields;
    for (int hours : {0, 1, 3, 6}) {
        const int field = hours == 0 ? 36 : hours * 6 - 1;
        fields[field] = [hours](int m, int c) {
            const int row = m + 148, column = c - 26;
            if (row >= 1200 || column < 0 || column >= 960) {
                return 0.05f;  // outside
            }
            bool outside, missing;
            const double rain = forecastRain(row, column, hours, &outside, &missing);
            int i, j;
            cvtest::blockOf(row, column, 1.0, &i, &j);
            // Dry blocks hold no rain (0.0, read as -9998), the missing block a negative value.
            if (!outside && cvtest::forecastDry(i, j, hours) && !cvtest::blockMissing(i, j)) {
                return 0.0f;
            }
            return outside ? 0.05f : missing ? -1.0f : static_cast<float>(rain);
        };
    }
    ok = ok && comp_test::writeMapleFile(dataPath("RDR_MAPLE", tm), 37, fields, false);
    // Stations: rain near Seoul, snow near Gangneung, fog (no symbol) near Daejeon, and a
    // clear sky near Busan.
    comp_test::writeStationFile(
        g_root, tm,
        {{61, 37.57f, 126.98f}, {71, 37.75f, 128.9f}, {45, 36.35f, 127.38f}, {2, 35.18f, 129.07f}});

    // Damaged entries, at other times.
    ok = ok && writeGzip(dataPath("RDR_CMP_CMAX_NOQC", tm), Bytes(500, 0x10));
    ok = ok && writeGzip(dataPath("RDR_KCJ", "202607151600"),
                         Bytes(wide.begin(), wide.begin() + static_cast<long>(wide.size() / 2)));
    std::filesystem::create_directories(dataPath("RDR_CMP480", "202607151610"));
    ok = ok && comp_test::writeVsrfFile(dataPath("RDR_VSRF", "202607151700"), 960, 1200, 3, vsrf);
    if (!ok) {
        std::fprintf(stderr, "compview_fixture_tree: cannot write under %s\n", g_root.c_str());
        return 1;
    }
    return 0;
}
