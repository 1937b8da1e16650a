#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aws_overlay.h"
#include "lamc_proj.h"
#include "precipview_state.h"
#include "rdr_root.h"
#include "time_seq.h"

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File open_text(const char* abs_path) {
    return File(std::fopen(rdrRootPath(std::string(abs_path)).c_str(), "r"), std::fclose);
}

// Splits a CSV line; empty fields stay (positions matter). Fields are 1-based.
struct Fields {
    std::vector<std::string> f;
    explicit Fields(const char* line) {
        std::string cur;
        for (const char* p = line; *p != '\0' && *p != '\n' && *p != '\r'; p++) {
            if (*p == ',') {
                f.push_back(cur);
                cur.clear();
            } else {
                cur.push_back(*p);
            }
        }
        f.push_back(cur);
    }
    const std::string& at(size_t k) const {
        static const std::string empty;
        return (k >= 1 && k <= f.size()) ? f[k - 1] : empty;
    }
};

long long to_ll(const std::string& s) {
    return std::strtoll(s.c_str(), nullptr, 10);
}

bool applies(const Fields& r, size_t end_field, size_t start_field, long long tm) {
    return to_ll(r.at(start_field)) <= tm && tm <= to_ll(r.at(end_field));
}

bool valid_station_number(const std::string& s, int* id) {
    if (s.empty() || s.size() > 4) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    *id = std::atoi(s.c_str());
    return true;
}

void copy_field(char* dst, size_t size, const std::string& src) {
    std::snprintf(dst, size, "%s", src.c_str());
}

bool kind_wanted(const std::string& kind) {
    return !kind.empty() && kind[0] == 'S' && kind != "SZ" && kind != "PA" && kind != "PB" &&
           kind != "SO";
}

STN_VAL* find_station(int count, int id, bool located_only) {
    for (int k = 0; k < count; k++) {
        if (stn_data[k].stn_id == id && (!located_only || stn_data[k].d > 0.0f)) {
            return &stn_data[k];
        }
    }
    return nullptr;
}

}  // namespace

int aws_info_get(int seq) {
    int YY, MM, DD, HH, MI;
    seq2time(seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
    const long long tm = ((static_cast<long long>(YY) * 100 + MM) * 100 + DD) * 100 + HH;
    char line[1000];
    int count = 0;

    File obs = open_text("/Q7T5_DATA/STN/stn_obs.csv");
    if (!obs) {
        return -2;
    }
    while (std::fgets(line, sizeof line, obs.get()) != nullptr) {
        Fields r(line);
        int id;
        if (!valid_station_number(r.at(1), &id) || !applies(r, 2, 3, tm)) {
            continue;
        }
        if (std::strstr("VYQ:GFR", r.at(8).c_str()) == nullptr || !kind_wanted(r.at(6))) {
            continue;
        }
        if (count >= kMaxStations) {
            break;
        }
        STN_VAL& s = stn_data[count++];
        std::memset(&s, 0, sizeof s);
        s.stn_id = id;
        copy_field(s.stn_ko, sizeof s.stn_ko, r.at(4));
        copy_field(s.stn_sp, sizeof s.stn_sp, r.at(6));
        copy_field(s.gov_cd, sizeof s.gov_cd, r.at(8));
        s.d = -99.0f;
    }

    File sensor = open_text("/Q7T5_DATA/STN/stn_obs_sensor.csv");
    if (!sensor) {
        return -2;
    }
    while (std::fgets(line, sizeof line, sensor.get()) != nullptr) {
        Fields r(line);
        int id;
        if (!valid_station_number(r.at(1), &id) || r.at(3) != "RN" || !applies(r, 5, 6, tm)) {
            continue;
        }
        if (STN_VAL* s = find_station(count, id, false)) {
            s->d = 1.0f;
        }
    }

    File loc = open_text("/Q7T5_DATA/STN/stn_obs_loc.csv");
    if (!loc) {
        return -3;
    }
    lamc_parameter map{6371.00877f,
                       1.0f,
                       30.0f,
                       60.0f,
                       126.0f,
                       38.0f,
                       static_cast<float>(var.SX),
                       static_cast<float>(var.SY),
                       0};
    while (std::fgets(line, sizeof line, loc.get()) != nullptr) {
        Fields r(line);
        int id;
        if (!valid_station_number(r.at(1), &id) || !applies(r, 3, 4, tm)) {
            continue;
        }
        STN_VAL* s = find_station(count, id, true);
        if (s == nullptr) {
            continue;
        }
        float lat = r.at(5).size() >= 3 ? std::strtof(r.at(5).c_str(), nullptr) : -1.0f;
        float lon = r.at(6).size() >= 3 ? std::strtof(r.at(6).c_str(), nullptr) : -1.0f;
        float ht = !r.at(7).empty() ? std::strtof(r.at(7).c_str(), nullptr) : -1.0f;
        if (!(lat > 0.0f && lon > 0.0f && ht > 0.0f) || lat >= 90.0f || lon > 360.0f) {
            continue;
        }
        float x, y;
        lamcproj_ellp(&lon, &lat, &x, &y, 0, &map);
        if (!(x >= 0.0f && x <= 1024.0f && y >= 0.0f && y <= 1024.0f)) {
            continue;
        }
        s->x = x;
        s->y = y;
        s->ht = ht;
        s->d = 99.0f;
    }

    int kept = 0;
    for (int k = 0; k < count; k++) {
        if (stn_data[k].d < 10.0f) {
            continue;
        }
        STN_VAL s = stn_data[k];
        s.re = -999;
        s.re_ok = 0;
        s.re_base = 0;
        s.rn_15x = -999;
        s.d = -999.0f;
        stn_data[kept++] = s;
    }
    return kept;
}
