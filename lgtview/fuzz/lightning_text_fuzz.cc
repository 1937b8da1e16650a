// Fuzzes the strike text readers: any bytes as a day's file of either layout. Every line
// either is passed over or gives a strike whose time is a real YYYYMMDDHHMM inside the
// window and whose texts are terminated; the readers never store more than the caller's
// array holds, and the NX1 reader never stores an identifier twice.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "internal/lightning_text.h"
#include "lightning_input.h"

namespace {

std::string g_root;

bool terminated(const char* s) {
    return strnlen(s, LGT_TEXT_LEN) < LGT_TEXT_LEN;
}

void writeDay(const char* name, const uint8_t* bytes, size_t size) {
    const std::string path = g_root + "/DATA/INPUT/LGT/2013/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes, 1, size, f) == size || size == 0);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/lightning_text_fuzz.XXXXXX";
    FUZZ_CHECK(mkdtemp(dir) != nullptr);
    g_root = dir;
    std::error_code error;
    std::filesystem::create_directories(g_root + "/DATA/INPUT/LGT/2013", error);
    FUZZ_CHECK(!error);
    setenv("RDR_ROOT", g_root.c_str(), 1);
    setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);
    // The line layer on its own.
    lgt_text::forEachLine(data, size, true, [&](std::string_view line) {
        FUZZ_CHECK(line.data() >= data && line.data() + line.size() <= data + size);
        std::string_view columns[LGT_NX1_DATA_MAX];
        const int n = lgt_text::splitColumns(line, columns, LGT_NX1_DATA_MAX);
        FUZZ_CHECK(n >= 0 && n <= LGT_NX1_DATA_MAX);
        std::string_view reference[LGT_NX1_DATA_MAX];
        FUZZ_CHECK(lgt_text::splitColumnsScalar(line, reference, LGT_NX1_DATA_MAX) == n);
        for (int i = 0; i < n; ++i) {
            FUZZ_CHECK(columns[i].data() == reference[i].data() &&
                       columns[i].size() == reference[i].size());
        }
        for (int i = 0; i < n; ++i) {
            FUZZ_CHECK(!columns[i].empty());
            FUZZ_CHECK(columns[i].data() >= line.data() &&
                       columns[i].data() + columns[i].size() <= line.data() + line.size());
            FUZZ_CHECK(columns[i][0] != ' ' && columns[i][0] != '\t');
        }
        char time[lgt_text::kTimeLen + 1] = {};
        if (n == LGT_NX1_DATA_MAX && lgt_text::nx1Time(columns, time)) {
            FUZZ_CHECK(lgt_text::validTime(time));
        }
        if (n >= LGT_VYQ_DATA_MAX && lgt_text::vyqTime(columns, time)) {
            FUZZ_CHECK(lgt_text::validTime(time));
        }
        return true;
    });

    // The readers on the bytes as both day files, into arrays smaller than many inputs.
    writeDay("VYQ_LGT_NX1_20130521.asc", bytes, size);
    writeDay("LGT_VYQ_20130521.asc", bytes, size);
    constexpr int kMax = 4;
    LGT_NX1_DATA nx1[kMax + 1];
    std::memset(nx1, 0x5A, sizeof nx1);
    const char* start = "201305210600";
    const char* end = "201305211800";
    const int n = fnReadLgtDataNX1(start, end, nx1, kMax);
    FUZZ_CHECK(n >= 0 && n <= kMax);
    const auto* guard = reinterpret_cast<const unsigned char*>(&nx1[kMax]);
    for (size_t i = 0; i < sizeof(LGT_NX1_DATA); ++i) {
        FUZZ_CHECK(guard[i] == 0x5A);
    }
    std::set<int> ids;
    for (int i = 0; i < n; ++i) {
        FUZZ_CHECK(terminated(nx1[i].m_szDateTime) && terminated(nx1[i].m_szWKT_info) &&
                   terminated(nx1[i].m_szFlash_id));
        FUZZ_CHECK(std::strcmp(nx1[i].m_szDateTime, start) >= 0 &&
                   std::strcmp(nx1[i].m_szDateTime, end) <= 0);
        FUZZ_CHECK(ids.insert(nx1[i].m_nStrkes_id).second);
    }
    LGT_VYQ_DATA vyq[kMax];
    const int m = fnReadLgtDataVYQ(start, end, vyq, kMax);
    FUZZ_CHECK(m >= 0 && m <= kMax);
    for (int i = 0; i < m; ++i) {
        FUZZ_CHECK(lgt_text::validTime(vyq[i].m_szDateTime));
    }
    return 0;
}
