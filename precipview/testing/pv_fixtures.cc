#include "pv_fixtures.h"

#include <iconv.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "aws_io.h"
#include "time_seq.h"

namespace fs = std::filesystem;

namespace pvtest {

const float kRainSteps[8] = {0.0f, 0.3f, 1.5f, 4.5f, 12.0f, 35.0f, 80.0f, 200.0f};

uint8_t patternType(int x, int y) {
    int bx = x / kBlock, by = y / kBlock;
    return static_cast<uint8_t>(((by % 5) << 4) | (1 + bx % 4));
}
uint8_t patternArea(int x, int y) {
    return static_cast<uint8_t>((x / kBlock + y / kBlock) % 5);
}
int16_t patternTw(int x, int y) {
    int bx = x / kBlock, by = y / kBlock;
    if (bx == 0 && by == 0) {
        return -10000;
    }
    return static_cast<int16_t>(20000 + (2 * bx - 8) * 100 + by * 50);
}
int16_t patternHsr(int x, int y) {
    int bx = x / kBlock, by = y / kBlock;
    if (bx == 8 && by == 11) {
        return -30000;
    }
    return static_cast<int16_t>(kRainSteps[(bx + 2 * by) % 8] * 100.0f + 0.5f);
}
int16_t patternRn15x(int x, int y) {
    int bx = x / kBlock, by = y / kBlock;
    return static_cast<int16_t>(kRainSteps[(bx + 2 * by + 3) % 8] * 100.0f + 0.5f);
}

AnalysisGrids patternGrids() {
    AnalysisGrids g;
    g.type = patternType;
    g.area = patternArea;
    g.tw = patternTw;
    g.hsr = patternHsr;
    g.rn15x = patternRn15x;
    return g;
}

void writeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void writeGzip(const std::string& path, const std::vector<unsigned char>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    gzFile gz = gzopen(path.c_str(), "wb1");
    if (gz == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (gzwrite(gz, bytes.data() + done, chunk) != static_cast<int>(chunk)) {
            gzclose(gz);
            throw std::runtime_error("cannot write " + path);
        }
        done += chunk;
    }
    gzclose(gz);
}

std::string analysisPath(const std::string& root, int YY, int MM, int DD, int HH, int MI) {
    char rel[160];
    std::snprintf(rel, sizeof rel,
                  "/DATA/RDR/OBS/%04d%02d/%02d/RDR_SFC_PTY_%04d%02d%02d%02d%02d.bin.gz", YY, MM, DD,
                  YY, MM, DD, HH, MI);
    return root + rel;
}

namespace {
void put16(std::vector<unsigned char>& b, size_t at, int v) {
    b[at] = static_cast<unsigned char>(v & 0xff);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xff);
}
}  // namespace

void writeAnalysis(const std::string& root, int YY, int MM, int DD, int HH, int MI,
                   const AnalysisGrids& g, long truncate_to) {
    const size_t cells = static_cast<size_t>(g.nx) * static_cast<size_t>(g.ny);
    std::vector<unsigned char> b(64 + cells * 8, 0);
    b[0] = 1;
    put16(b, 1, 3);
    put16(b, 3, YY);
    b[5] = static_cast<unsigned char>(MM);
    b[6] = static_cast<unsigned char>(DD);
    b[7] = static_cast<unsigned char>(HH);
    b[8] = static_cast<unsigned char>(MI);
    b[18] = static_cast<unsigned char>(g.map_code);
    put16(b, 20, g.nx);
    put16(b, 22, g.ny);
    put16(b, 24, 1);
    put16(b, 26, g.dxy);
    b[32] = 5;
    std::snprintf(reinterpret_cast<char*>(&b[33]), 16, "PTY AREA TW HSR");
    size_t p = 64;
    for (int y = 0; y < g.ny; y++) {
        for (int x = 0; x < g.nx; x++) {
            b[p + static_cast<size_t>(y) * g.nx + x] = g.type ? g.type(x, y) : 0;
            b[p + cells + static_cast<size_t>(y) * g.nx + x] = g.area ? g.area(x, y) : 0;
        }
    }
    p += 2 * cells;
    const std::function<int16_t(int, int)>* value_grids[3] = {&g.tw, &g.hsr, &g.rn15x};
    for (auto* grid : value_grids) {
        for (int y = 0; y < g.ny; y++) {
            for (int x = 0; x < g.nx; x++) {
                put16(b, p + 2 * (static_cast<size_t>(y) * g.nx + x), *grid ? (*grid)(x, y) : 0);
            }
        }
        p += 2 * cells;
    }
    if (truncate_to > 0 && static_cast<size_t>(truncate_to) < b.size()) {
        b.resize(static_cast<size_t>(truncate_to));
    }
    writeGzip(analysisPath(root, YY, MM, DD, HH, MI), b);
}

namespace {
std::string toEucKr(const std::string& utf8) {
    iconv_t cd = iconv_open("EUC-KR", "UTF-8");
    std::string out(utf8.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t in_left = utf8.size(), out_left = out.size();
    char* op = out.data();
    iconv(cd, &in, &in_left, &op, &out_left);
    iconv_close(cd);
    out.resize(out.size() - out_left);
    return out;
}
}  // namespace

std::vector<Station> fixtureStations() {
    return {
        {108, "서울", 37.57, 126.97, 85.8},    {112, "인천", 37.48, 126.62, 68.9},
        {119, "수원", 37.27, 126.99, 34.1},    {101, "춘천", 37.90, 127.74, 76.5},
        {105, "강릉", 37.75, 128.89, 26.0},    {133, "대전", 36.37, 127.37, 68.9},
        {131, "청주", 36.64, 127.44, 57.2},    {146, "전주", 35.82, 127.15, 61.4},
        {156, "광주", 35.17, 126.89, 72.4},    {143, "대구", 35.88, 128.65, 64.1},
        {159, "부산", 35.10, 129.03, 69.6},    {152, "울산", 35.56, 129.32, 34.6},
        {138, "포항", 36.03, 129.38, 2.3},     {165, "목포", 34.82, 126.38, 38.0},
        {168, "여수", 34.74, 127.74, 64.6},    {184, "제주", 33.51, 126.53, 20.5},
        {115, "울릉도", 37.48, 130.90, 222.8}, {401, "서초", 37.49, 127.02, 33.0},
        {402, "강남", 37.51, 127.05, 40.0},    {403, "노원", 37.65, 127.06, 38.0},
    };
}

void writeStationLists(const std::string& root, const std::vector<Station>& stations) {
    std::string obs, sensor, loc;
    char line[400];
    for (const auto& s : stations) {
        std::snprintf(line, sizeof line, "%d,2099123123,2000010100,%s,,%s,,%s\n", s.id,
                      toEucKr(s.name_utf8).c_str(), s.kind.c_str(), s.org.c_str());
        obs += line;
        if (s.rain_sensor) {
            std::snprintf(line, sizeof line, "%d,,RN,,2099123123,2000010100\n", s.id);
            sensor += line;
        }
        std::snprintf(line, sizeof line, "%d,,2099123123,2000010100,%.4f,%.4f,%.1f\n", s.id, s.lat,
                      s.lon, s.height);
        loc += line;
    }
    writeFile(root + "/Q7T5_DATA/STN/stn_obs.csv", obs);
    writeFile(root + "/Q7T5_DATA/STN/stn_obs_sensor.csv", sensor);
    writeFile(root + "/Q7T5_DATA/STN/stn_obs_loc.csv", loc);
}

namespace {
std::string hourFile(const std::string& root, const char* prefix, int YY, int MM, int DD, int HH) {
    char rel[160];
    std::snprintf(rel, sizeof rel, "/Q7T5_DATA/AWS/AWS3D/%04d%02d/%02d/%s_%04d%02d%02d%02d", YY, MM,
                  DD, prefix, YY, MM, DD, HH);
    return root + rel;
}

void writeAt(const std::string& path, long offset, const unsigned char* bytes, size_t n) {
    fs::create_directories(fs::path(path).parent_path());
    FILE* fp = std::fopen(path.c_str(), "rb+");
    if (fp == nullptr) {
        fp = std::fopen(path.c_str(), "wb+");
    }
    if (fp == nullptr || std::fseek(fp, offset, SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, n, fp) != n) {
        throw std::runtime_error("cannot write " + path);
    }
    std::fclose(fp);
}
}  // namespace

void writeAwsMinutes(const std::string& root, const std::vector<AwsMinute>& minutes) {
    for (const auto& m : minutes) {
        AWS3_DATA rec{};
        rec.aws_id = static_cast<int16_t>(m.id);
        rec.aws_tm = {static_cast<int16_t>(m.YY), static_cast<int8_t>(m.MM),
                      static_cast<int8_t>(m.DD), static_cast<int8_t>(m.HH),
                      static_cast<int8_t>(m.MI)};
        for (auto& v : rec.d) {
            v = -999;
        }
        for (const auto& [k, v] : m.elements) {
            rec.d[k] = v;
        }
        unsigned char raw[kAwsDataSize];
        aws_data_encode(&rec, raw);
        writeAt(hourFile(root, "AWS3_MIN", m.YY, m.MM, m.DD, m.HH),
                static_cast<long>(m.MI) * kAwsDataSize * kAwsSlots +
                    static_cast<long>(m.id) * kAwsDataSize,
                raw, sizeof raw);
        bool flagged = false;
        for (uint64_t f : m.qc_flags) {
            flagged = flagged || f != 0;
        }
        if (flagged) {
            struct AWS3_QCD q {};
            q.aws_id = rec.aws_id;
            q.aws_tm = rec.aws_tm;
            for (int s = 0; s < 8; s++) {
                q.qc[s] = m.qc_flags[s];
            }
            unsigned char qraw[kAwsQcdSize];
            aws_qcd_encode(&q, qraw);
            writeAt(hourFile(root, "AWS3_QCD", m.YY, m.MM, m.DD, m.HH),
                    static_cast<long>(m.MI) * kAwsQcdSize * kAwsSlots +
                        static_cast<long>(m.id) * kAwsQcdSize,
                    qraw, sizeof qraw);
        }
    }
}

std::vector<AwsMinute> fixtureObservations(const std::vector<Station>& stations, int YY, int MM,
                                           int DD, int HH, int MI) {
    std::vector<AwsMinute> out;
    int seq = time2seq(YY, MM, DD, HH, MI, 'm');
    for (int t = seq + 5; t >= seq - 9; t--) {
        int y, mo, d, h, mi;
        seq2time(t, &y, &mo, &d, &h, &mi, 'm', 'n');
        for (size_t k = 0; k < stations.size(); k++) {
            AwsMinute m;
            m.id = stations[k].id;
            m.YY = y;
            m.MM = mo;
            m.DD = d;
            m.HH = h;
            m.MI = mi;
            m.elements.push_back({7, static_cast<int16_t>(k % 2)});
            m.elements.push_back({65, static_cast<int16_t>((k * 450) % 3600)});
            m.elements.push_back({66, static_cast<int16_t>(25 + (k % 4) * 40)});
            if (k % 3 == 0) {
                m.elements.push_back({67, static_cast<int16_t>(5 * (k / 3 + 1))});
            }
            m.elements.push_back({68, static_cast<int16_t>(10 * k)});
            m.elements.push_back({69, static_cast<int16_t>(3 * k)});
            out.push_back(m);
        }
    }
    return out;
}

void writeMapTable(const std::string& root, const std::string& text) {
    writeFile(root + "/rdr/REF/MAP/map.ini", text);
}

void writeScale(const std::string& root, const std::string& name, const std::string& text) {
    writeFile(root + "/rdr/REF/COLOR/" + name, text);
}

void writeTopography(const std::string& root, const std::function<int16_t(int, int)>& h) {
    const int rows = 1441, cols = 1153;
    std::string b(64 + static_cast<size_t>(rows) * cols * 2, '\0');
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            int16_t v = h(c, r);
            size_t at = 64 + 2 * (static_cast<size_t>(r) * cols + c);
            b[at] = static_cast<char>(v & 0xff);
            b[at + 1] = static_cast<char>((v >> 8) & 0xff);
        }
    }
    writeFile(root + "/DATA/GIS/TOPO/SRTM/topo_mapB_1km.bin", b);
}

void writeMapLines(const std::string& root, const std::string& map, int kind,
                   const std::string& text) {
    writeFile(root + "/DATA/GIS/MAP/dat/JVT_" + map + "_map" + std::to_string(kind) + ".dat", text);
}

}  // namespace pvtest
