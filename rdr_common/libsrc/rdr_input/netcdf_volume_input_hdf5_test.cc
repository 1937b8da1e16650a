// Files that crash, exhaust or hang libhdf5 and libnetcdf (kept from fuzzing) are refused
// with the reason, and the process that asked goes on loading good files.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>

#include "internal/netcdf_volume_input.h"
#include "nc_fixture.h"
#include "nc_radar.h"
#include "test_support.h"

namespace {

const std::string kKept = RDR_SOURCE_DIR "/fuzz/corpus/netcdf_reader_fuzz/";

// The last line the load printed (a sanitizer build's report may come before it).
std::string refusal(const std::string& path) {
    ::testing::internal::CaptureStderr();
    NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(pNc, nullptr) << path;
    fnFreeNcRadar(pNc);
    if (!err.empty() && err.back() == '\n') {
        err.pop_back();
    }
    return err.substr(err.rfind('\n') + 1);
}

class NcHdf5IsolationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = ncIsolationLimits();
        IsolationLimits quick = saved_;
        quick.cpuSeconds = 2;
        quick.wallSeconds = 60;  // the CPU limit decides, even on a busy machine
        setNcIsolationLimits(quick);
    }
    void TearDown() override { setNcIsolationLimits(saved_); }

    IsolationLimits saved_{};
    rdrtest::TempDir dir_;
};

TEST_F(NcHdf5IsolationTest, FilesThatBreakTheLibrariesAreRefusedAndLoadingGoesOn) {
    const std::string hdf5Failed = "fnLoadNcRadar : the HDF5 library failed on this file (";
    const std::string classic = "fnLoadNcRadar : classic header refused: ";
    const struct {
        const char* file;
        std::string message;  // the whole line, or its start for HDF5 failures
    } kept[] = {
        // libhdf5 frees an uninitialised pointer under nc_open (H5G__dense_iterate,
        // H5O_msg_reset): SIGSEGV, or a sanitizer's report and abort.
        {"hdf5-bad-free-in-dense-iterate", hdf5Failed},
        {"hdf5-endless-loop", hdf5Failed + "CPU time limit of 2 s reached)"},
        // libnetcdf reads the missing count from beyond the end and asks for gigabytes.
        {"classic-13-bytes-dimension-count", classic + "the header ends inside the dimension list"},
        {"classic-13-bytes-record-count",
         classic + "it declares 327686 records, more than a file of 13 bytes holds"},
        // libnetcdf would copy a 300-byte dimension name into a 257-byte stack buffer...
        {"classic-long-dimension-name",
         classic + "the name of a dimension (300 bytes) is longer than netCDF allows (256)"},
        // ...or a 517-byte one read from beyond the end of the file.
        {"classic-name-past-the-end",
         classic + "dimension \"time\" has length 4915200, more than the file's 159 bytes"},
    };
    for (const auto& k : kept) {
        const std::string line = refusal(kKept + k.file);
        if (k.message == hdf5Failed) {
            EXPECT_EQ(line.rfind(k.message, 0), 0u) << k.file << ": " << line;
        } else {
            EXPECT_EQ(line, k.message) << k.file;
        }
    }
    // Every child was reaped, and the libraries in this process still work.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 3, 4);
    shape.m_moments.push_back(rdrtest::rampMoment(shape, "DBZ"));
    const std::string good = dir_.file("good.nc");
    ASSERT_TRUE(rdrtest::writeNcVolume(good, shape));
    NC_RADAR* pNc = fnLoadNcRadar(good.c_str());
    ASSERT_NE(pNc, nullptr);
    EXPECT_EQ(pNc->m_iMaxMoment, 1);
    fnFreeNcRadar(pNc);
}

TEST_F(NcHdf5IsolationTest, NamesLongerThanNetcdfAllowsAreRefused) {
    // libnetcdf copies a variable's name into its caller's NC_MAX_NAME + 1 bytes whatever
    // its length; HDF5 itself allows any length.
    const std::string path = dir_.file("long_name.nc");
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    const hsize_t n = 3;
    const hid_t space = H5Screate_simple(1, &n, nullptr);
    const hid_t data = H5Dcreate2(file, std::string(300, 'v').c_str(), H5T_NATIVE_FLOAT, space,
                                  H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(data, 0);
    H5Dclose(data);
    H5Sclose(space);
    H5Fclose(file);
    EXPECT_EQ(refusal(path),
              "fnLoadNcRadar : a name of 300 bytes, longer than netCDF allows (256)");
}

}  // namespace
