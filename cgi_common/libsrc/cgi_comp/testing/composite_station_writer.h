// Test fixture: the hourly weather-station file of the weather symbols, written under a
// resource root as "DATA/INPUT/WST/YYYYMM/DD/WST_YYYYMMDDHH00.txt": the station count, then
// one line "code latitude longitude" per station.
#ifndef CGI_COMP_TESTING_COMPOSITE_STATION_WRITER_H
#define CGI_COMP_TESTING_COMPOSITE_STATION_WRITER_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace comp_test {

struct WeatherStation {
    int code;  // present-weather code
    float lat;
    float lon;
};

// Path of the station file for the hour of szDate ("YYYYMMDDHHMM") under root.
inline std::string stationFilePath(const std::string& root, const std::string& szDate) {
    const std::string ym = szDate.substr(0, 6);
    const std::string d = szDate.substr(6, 2);
    const std::string ymdh = szDate.substr(0, 10);
    return root + "/DATA/INPUT/WST/" + ym + "/" + d + "/WST_" + ymdh + "00.txt";
}

// Writes the stations; firstLine replaces the count line when not empty (a count that does
// not match, or no count at all). Returns the path written.
inline std::string writeStationFile(const std::string& root, const std::string& szDate,
                                    const std::vector<WeatherStation>& stations,
                                    const std::string& firstLine = "") {
    const std::string path = stationFilePath(root, szDate);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::trunc);
    out << (firstLine.empty() ? std::to_string(stations.size()) : firstLine) << "\n";
    for (const WeatherStation& s : stations) {
        char line[96];
        std::snprintf(line, sizeof line, "%d %.5f %.5f\n", s.code, s.lat, s.lon);
        out << line;
    }
    return path;
}

}  // namespace comp_test

#endif
