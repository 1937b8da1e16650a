// libnetcdf is opened on first need: a library that is missing, or is not libnetcdf, is
// refused with a reason a user can act on, never called through a null pointer.
#include "internal/netcdf_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NetcdfLibrary, AMissingOrForeignLibraryIsRefusedWithItsName) {
    std::string why;
    EXPECT_EQ(openNetcdfLibrary("libnetcdf-absent.so.0", &why), nullptr);
    EXPECT_NE(why.find("cannot load the netCDF library libnetcdf-absent.so.0"), std::string::npos)
        << why;

    why.clear();
    EXPECT_EQ(openNetcdfLibrary("libz.so.1", &why), nullptr);
    EXPECT_EQ(why, "nc_open is missing from the netCDF library");
}

// Every caller gets the one library opened for the process, and its functions are live.
TEST(NetcdfLibrary, TheInstalledLibraryOpensOnceAndIsSharedByEveryCaller) {
    std::string why;
    const NetcdfLibrary* pFirst = netcdfLibrary(&why);
    ASSERT_NE(pFirst, nullptr) << why;
    EXPECT_EQ(netcdfLibrary(&why), pFirst);
    EXPECT_EQ(&nc(), pFirst);
    int id = -1;
    EXPECT_NE(nc().open("/nonexistent/volume.nc", NC_NOWRITE, &id), NC_NOERR);
}

}  // namespace
