// The CAPPI worker of the VIL product run as the product runs it, on POSIX threads that
// share one volume and its tables, must give what the same workers give one after another.
// Built with -DRDR_TSAN=ON (make test-tsan) these tests run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "site_cartesian_products.h"
#include "testing/site_fixture.h"

namespace {

using site_test::GridPtr;
using site_test::Site;

site_test::UfLayout layeredVolume() {
    site_test::UfLayout layout;
    layout.elevations = {0.5f, 1.5f, 2.5f, 4.0f, 6.0f, 9.0f, 13.0f};
    layout.gates = 120;
    layout.gateM = 1000;
    layout.beamV = 2.0f;
    layout.value = [](int s, float az, double rangeM, const std::string&) {
        return static_cast<float>(50.0 - 3.0 * s - rangeM / 8000.0 + std::sin(az / 20.0) * 5.0);
    };
    return layout;
}

TEST(SiteThreads, ThreadedCappiWorkersEqualTheirSerialResults) {
    Site site(layeredVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 120;
    const int levels = 6;
    std::vector<float*> serial(levels, nullptr);
    for (int i = 0; i < levels; ++i) {
        st_VilCappiThrArg arg{site.uf.get(), i + 1, site.tables.data(), n, n, 120,
                              nullptr,       i,     serial.data()};
        fnMakeCappiThread(&arg);
        ASSERT_NE(serial[i], nullptr) << "level " << i;
    }

    // All levels at once, each worker writing only its own slot.
    std::vector<float*> threaded(levels, nullptr);
    std::vector<st_VilCappiThrArg> args;
    for (int i = 0; i < levels; ++i) {
        args.push_back(st_VilCappiThrArg{site.uf.get(), i + 1, site.tables.data(), n, n, 120,
                                         nullptr, i, threaded.data()});
    }
    std::vector<pthread_t> ids(levels);
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(pthread_create(&ids[i], nullptr, fnMakeCappiThread, &args[i]), 0);
    }
    for (pthread_t id : ids) {
        pthread_join(id, nullptr);
    }

    int withEcho = 0;
    for (int i = 0; i < levels; ++i) {
        ASSERT_NE(threaded[i], nullptr) << "level " << i;
        EXPECT_EQ(args[i].m_pData, threaded[i]);
        for (int c = 0; c < n * n; ++c) {
            ASSERT_EQ(threaded[i][c], serial[i][c]) << "level " << i << " cell " << c;
            withEcho += serial[i][c] != SITE_NO_DATA;
        }
    }
    EXPECT_GT(withEcho, levels * n * n / 4);
    for (int i = 0; i < levels; ++i) {
        std::free(serial[i]);
        std::free(threaded[i]);
    }
}

TEST(SiteThreads, ThreadedVilOfFourteenLevelsEqualsItsSerialSum) {
    Site site(layeredVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 101;      // odd: the two halves of the cells meet off the middle row
    const int levels = 14;  // groups of four workers: 4, 4, 4, 2
    GridPtr vil(fnVolumeToVIL(site.uf.get(), n, n, 100, levels, 0, site.tables.data()));
    ASSERT_NE(vil, nullptr);
    std::vector<float*> grids(levels, nullptr);
    for (int i = 0; i < levels; ++i) {
        st_VilCappiThrArg arg{site.uf.get(), i, site.tables.data(), n, n, 100,
                              nullptr,       i, grids.data()};
        fnMakeCappiThread(&arg);
    }
    std::vector<float> serial(n * n, SITE_NO_DATA);
    st_VilThrArg all{grids.data(), levels, 0, n * n, serial.data()};
    fnMakeVilThread(&all);
    int withEcho = 0;
    for (int c = 0; c < n * n; ++c) {
        ASSERT_EQ(vil.get()[c], serial[c]) << "cell " << c;
        withEcho += serial[c] > 0.0f;
    }
    EXPECT_GT(withEcho, n * n / 4);
    for (float* g : grids) {
        std::free(g);
    }
}

}  // namespace
