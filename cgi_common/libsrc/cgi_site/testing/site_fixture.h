// Test support: a synthetic site volume written to a file, read back through the engine,
// with the azimuth table of every sweep; everything released with free() as the engine
// documents.
#ifndef CGI_SITE_TESTING_SITE_FIXTURE_H
#define CGI_SITE_TESTING_SITE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "owned_handle.h"
#include "site_volume_engine.h"
#include "test_support.h"
#include "testing/site_uf_writer.h"

namespace site_test {

// A row-pointer grid (float**) over rows given by value, for the functions that take one.
struct Rows {
    std::vector<std::vector<float>> cells;
    std::vector<float*> ptrs;
    explicit Rows(std::vector<std::vector<float>> c) : cells(std::move(c)) {
        for (auto& r : cells) {
            ptrs.push_back(r.data());
        }
    }
    float** data() { return ptrs.data(); }
};

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using VolumePtr = std::unique_ptr<ST_UF_DATA, FreeDeleter>;
using GridPtr = std::unique_ptr<float, FreeDeleter>;

// A volume with its azimuth tables.
struct Site {
    VolumePtr uf;
    std::vector<std::unique_ptr<st_Azimuth, FreeDeleter>> owned;
    std::vector<st_Azimuth*> tables;

    explicit Site(const UfLayout& layout) {
        rdrtest::TempDir dir;
        const std::string path = dir.file("v.uf");
        EXPECT_TRUE(writeBytes(path, encodeUf(layout).bytes));
        uf.reset(fnReadUfFile(path.c_str(), "DZ", 0.0f));
        if (uf == nullptr) {
            ADD_FAILURE() << "volume not read";
            return;
        }
        for (int s = 0; s < uf->m_nSweeps; ++s) {
            owned.emplace_back(fnMakeHashTable(uf.get(), s));
            tables.push_back(owned.back().get());
        }
    }
};

}  // namespace site_test

#endif
