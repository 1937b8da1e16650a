#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "internal/eccodes_library.h"

// Opening the library sets ecCodes' extra paths to the resource tree before its context
// exists, keeping what the caller had set behind ours.
TEST(EccodesLibrary, OpensOnceWithTheResourceTreeInFront) {
    setenv("ECCODES_EXTRA_DEFINITION_PATH", "/caller/definitions", 1);
    std::string why;
    const EccodesLibrary* pLib = eccodesLibrary(&why);
    ASSERT_NE(pLib, nullptr) << why;
    EXPECT_EQ(pLib, eccodesLibrary(&why));
    const char* szExtra = std::getenv("ECCODES_EXTRA_DEFINITION_PATH");
    ASSERT_NE(szExtra, nullptr);
    EXPECT_EQ(std::string(szExtra), eccodesDefinitionPath() + ":/caller/definitions");
    EXPECT_NE(eccodesDefinitionPath().find("/resource/bufr_table"), std::string::npos);
    EXPECT_STREQ(ec().get_error_message(CODES_SUCCESS), "No error");
}

TEST(EccodesLibrary, AMissingLibraryIsNamed) {
    std::string why;
    EXPECT_EQ(openEccodesLibrary("libeccodes-missing.so.0", &why), nullptr);
    EXPECT_NE(why.find("libeccodes-missing.so.0"), std::string::npos) << why;
}
