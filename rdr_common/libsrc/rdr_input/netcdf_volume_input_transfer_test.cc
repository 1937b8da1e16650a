// The hand-over of a decoded volume from the child: a round trip keeps every field and
// array; a damaged or truncated hand-over is refused, never trusted.
#include "internal/netcdf_volume_input_transfer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "internal/netcdf_volume_input.h"
#include "nc_fixture.h"
#include "test_support.h"

namespace {

class VectorOutput : public IsolatedOutput {
  public:
    bool write(const void* pBytes, std::size_t nBytes) override {
        const auto* p = static_cast<const unsigned char*>(pBytes);
        bytes.insert(bytes.end(), p, p + nBytes);
        return true;
    }
    std::vector<unsigned char> bytes;
};

// The structure with its pointers cleared, so two copies compare by their values.
std::vector<unsigned char> fixedPart(const NC_RADAR* pNc) {
    NC_RADAR copy;
    std::memcpy(&copy, pNc, sizeof(copy));
    copy.m_iMaxMoment = NC_MAX_MOMENT;
    for (const NcOwnedArray& array : ncOwnedArrays(&copy)) {
        *array.slot = nullptr;
    }
    copy.m_iMaxMoment = pNc->m_iMaxMoment;
    const auto* p = reinterpret_cast<const unsigned char*>(&copy);
    return {p, p + sizeof(copy)};
}

std::vector<unsigned char> arrayBytes(const NcOwnedArray& array) {
    std::vector<unsigned char> bytes;
    if (*array.slot == nullptr) {
        return bytes;
    }
    for (std::size_t i = 0; i < array.count; i++) {
        const auto* p =
            array.text ? reinterpret_cast<const unsigned char*>(static_cast<char**>(*array.slot)[i])
                       : static_cast<const unsigned char*>(*array.slot) + i * array.elementBytes;
        bytes.insert(bytes.end(), p, p + array.elementBytes);
    }
    return bytes;
}

class NcTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(2, 5, 7);
        shape.m_moments.push_back(rdrtest::rampMoment(shape, "DBZ"));
        shape.m_moments.push_back(rdrtest::rampMoment(shape, "VEL"));
        const std::string path = dir_.file("volume.nc");
        ASSERT_TRUE(rdrtest::writeNcVolume(path, shape));
        int openStatus = 0;
        original_ = readNcRadarInProcess(path.c_str(), &openStatus);
        ASSERT_NE(original_, nullptr);
        ASSERT_EQ(original_->m_iMaxMoment, 2);
        ASSERT_TRUE(writeNcRadarBytes(original_, output_));
    }
    void TearDown() override { fnFreeNcRadar(original_); }

    NC_RADAR* read(const std::vector<unsigned char>& bytes, std::string* pWhy) {
        return readNcRadarBytes(bytes.data(), bytes.size(), pWhy);
    }

    rdrtest::TempDir dir_;
    NC_RADAR* original_ = nullptr;
    VectorOutput output_;
};

TEST_F(NcTransferTest, RoundTripKeepsEveryFieldAndArray) {
    std::string why;
    NC_RADAR* copy = read(output_.bytes, &why);
    ASSERT_NE(copy, nullptr) << why;
    EXPECT_TRUE(fixedPart(copy) == fixedPart(original_));
    const std::vector<NcOwnedArray> before = ncOwnedArrays(original_);
    const std::vector<NcOwnedArray> after = ncOwnedArrays(copy);
    ASSERT_EQ(before.size(), after.size());
    std::size_t present = 0;
    for (std::size_t i = 0; i < before.size(); i++) {
        EXPECT_EQ(*before[i].slot == nullptr, *after[i].slot == nullptr) << i;
        if (*after[i].slot != nullptr) {
            EXPECT_NE(*before[i].slot, *after[i].slot) << i;  // its own copy
        }
        EXPECT_TRUE(arrayBytes(before[i]) == arrayBytes(after[i])) << i;
        present += *after[i].slot != nullptr;
    }
    EXPECT_GE(present, 10u);  // time, range, angles, sweep indices and modes, two moments
    EXPECT_STREQ(copy->m_sweep_var.m_ppSweep_mode[1], "azimuth_surveillance");
    STD_RADAR* pStd = fnNcSyncUpStd(copy);
    EXPECT_NE(pStd, nullptr);
    fnFreeStdRadar(pStd);
    fnFreeNcRadar(copy);
}

TEST_F(NcTransferTest, DamagedHandOversAreRefused) {
    const std::vector<unsigned char>& good = output_.bytes;
    std::string why;
    // Cut anywhere: refused, and what was built so far is released (sanitizer builds).
    for (std::size_t n = 0; n < good.size(); n += n < good.size() - 64 ? 97 : 1) {
        const std::vector<unsigned char> cut(good.begin(), good.begin() + n);
        EXPECT_EQ(read(cut, &why), nullptr) << n;
    }
    std::vector<unsigned char> longer = good;
    longer.push_back(0);
    EXPECT_EQ(read(longer, &why), nullptr);
    EXPECT_EQ(why, "1 bytes too many");

    const std::size_t header = 16;  // magic and structure size
    const auto patched = [&](std::size_t at, const void* value, std::size_t n) {
        std::vector<unsigned char> bytes = good;
        std::memcpy(bytes.data() + at, value, n);
        return bytes;
    };
    const int tooMany = NC_MAX_MOMENT + 1;
    const int negative = -1;
    EXPECT_EQ(read(patched(header + offsetof(NC_RADAR, m_iMaxMoment), &tooMany, sizeof(int)), &why),
              nullptr);
    EXPECT_EQ(why, "impossible dimensions or moment count");
    EXPECT_EQ(
        read(patched(header + offsetof(NC_RADAR, m_dim.m_nRange), &negative, sizeof(int)), &why),
        nullptr);
    // A larger ray count than the arrays were written for: every length disagrees.
    const int moreRays = original_->m_dim.m_nTime + 1;
    EXPECT_EQ(
        read(patched(header + offsetof(NC_RADAR, m_dim.m_nTime), &moreRays, sizeof(int)), &why),
        nullptr);
    EXPECT_NE(why.find("bytes where"), std::string::npos) << why;
    const unsigned char wrongMagic = 'X';
    EXPECT_EQ(read(patched(0, &wrongMagic, 1), &why), nullptr);
    EXPECT_EQ(why, "not a volume hand-over");

    // Fixed texts arrive terminated even when the child's copy was not.
    std::vector<unsigned char> unterminated = good;
    std::memset(unterminated.data() + header + offsetof(NC_RADAR, m_global_attr.m_szSite_name), 'A',
                NC_ATTR_TEXT_LEN);
    NC_RADAR* copy = read(unterminated, &why);
    ASSERT_NE(copy, nullptr) << why;
    EXPECT_EQ(std::strlen(copy->m_global_attr.m_szSite_name), NC_ATTR_TEXT_LEN - 1u);
    fnFreeNcRadar(copy);
}

TEST(NcTransfer, RealNetcdf4VolumesComeBackFromTheChildAsReadInProcess) {
    RDR_REQUIRE_SHARED_DATA();
    const std::filesystem::path dir = rdrtest::sharedData("cfradial");
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        int openStatus = 0;
        NC_RADAR* inProcess = readNcRadarInProcess(path.c_str(), &openStatus);
        NC_RADAR* isolated = fnLoadNcRadar(path.c_str());
        ASSERT_NE(inProcess, nullptr) << path;
        ASSERT_NE(isolated, nullptr) << path;
        EXPECT_TRUE(fixedPart(isolated) == fixedPart(inProcess)) << path;
        const std::vector<NcOwnedArray> a = ncOwnedArrays(inProcess);
        const std::vector<NcOwnedArray> b = ncOwnedArrays(isolated);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); i++) {
            EXPECT_TRUE(arrayBytes(a[i]) == arrayBytes(b[i])) << path << " array " << i;
        }
        fnFreeNcRadar(inProcess);
        fnFreeNcRadar(isolated);
        compared++;
    }
    EXPECT_GE(compared, 7);
}

}  // namespace
