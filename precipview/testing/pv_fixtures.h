// Writers of synthetic inputs for the precipitation-type program: analysis files, AWS minute
// and quality files, station lists and resource files, laid out under any root directory
// exactly as the program looks for them (so RDR_ROOT=<root> serves them).
#ifndef PRECIPVIEW_PV_FIXTURES_H
#define PRECIPVIEW_PV_FIXTURES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pvtest {

// Cell value generators of the five grids; x east, y north, in cells.
struct AnalysisGrids {
    int nx = 1152;
    int ny = 1440;
    int dxy = 1000;
    int map_code = 1;
    std::function<uint8_t(int x, int y)> type;   // grid 1: radar type << 4 | AWS type
    std::function<uint8_t(int x, int y)> area;   // grid 2
    std::function<int16_t(int x, int y)> tw;     // grid 3, stored
    std::function<int16_t(int x, int y)> hsr;    // grid 4, stored
    std::function<int16_t(int x, int y)> rn15x;  // grid 5, stored
};

// The blocky test pattern: 128-cell blocks, bx = x / 128, by = y / 128.
constexpr int kBlock = 128;
uint8_t patternType(int x, int y);   // AWS type 1 + bx % 4, radar type by % 5
uint8_t patternArea(int x, int y);   // (bx + by) % 5
int16_t patternTw(int x, int y);     // (2 bx - 8) + 0.5 by deg C; block (0, 0) no data
int16_t patternHsr(int x, int y);    // kRainSteps[(bx + 2 by) % 8]; block (8, 11) no data
int16_t patternRn15x(int x, int y);  // kRainSteps[(bx + 2 by + 3) % 8]
extern const float kRainSteps[8];    // mm/h
AnalysisGrids patternGrids();

// Path of the analysis file of a local time under root.
std::string analysisPath(const std::string& root, int YY, int MM, int DD, int HH, int MI);

// Writes the analysis file (gzip). truncate_to > 0 keeps only that many uncompressed bytes.
void writeAnalysis(const std::string& root, int YY, int MM, int DD, int HH, int MI,
                   const AnalysisGrids& g, long truncate_to = 0);

// Writes raw bytes gzip-compressed at path (directories created).
void writeGzip(const std::string& path, const std::vector<unsigned char>& bytes);

// One station of the lists.
struct Station {
    int id;
    std::string name_utf8;  // stored in EUC-KR
    double lat, lon, height;
    std::string kind = "SA";
    std::string org = "V";
    bool rain_sensor = true;
};
std::vector<Station> fixtureStations();  // towns of the peninsula, numbers 90..299 and 400+
void writeStationLists(const std::string& root, const std::vector<Station>& stations);

// One minute record: elements by index, the rest -999 (missing).
struct AwsMinute {
    int id;
    int YY, MM, DD, HH, MI;
    std::vector<std::pair<int, int16_t>> elements;
    uint64_t qc_flags[8] = {0};  // written to the quality file when any is set
};
// Writes the records into the hourly data files (sparse) and, for records with flags, the
// quality files.
void writeAwsMinutes(const std::string& root, const std::vector<AwsMinute>& minutes);

// Observations of every station for the 15 minutes up to seq + 5: rain detection at odd
// numbered stations, winds turning with the station index, 15-minute rain at every third.
std::vector<AwsMinute> fixtureObservations(const std::vector<Station>& stations, int YY, int MM,
                                           int DD, int HH, int MI);

// Resource files: the map-window table, colour scales, a flat topography grid with one hill,
// map lines (one square per window and kind).
void writeMapTable(const std::string& root, const std::string& text);
void writeScale(const std::string& root, const std::string& name, const std::string& text);
void writeTopography(const std::string& root, const std::function<int16_t(int col, int row)>& h);
void writeMapLines(const std::string& root, const std::string& map, int kind,
                   const std::string& text);

void writeFile(const std::string& path, const std::string& bytes);

}  // namespace pvtest

#endif
