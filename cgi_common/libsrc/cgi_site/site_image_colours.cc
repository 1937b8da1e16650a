#include <cmath>
#include <cstring>

#include "display_utilities.h"
#include "internal/site_image_colours.h"

namespace site_image {

namespace {

constexpr float kNoEcho = -9999.0f;
constexpr float kOutsideCoverage = -9998.0f;
constexpr float kFirstMarker = 131067.0f;
// Level rules of site images: values below the row's minimum are not drawn, and colour i
// covers [t(i-1), t(i)), so that the legend's label between two boxes is where the upper
// one begins.
constexpr int kMinDiffType = 0;
constexpr int kLevelDiffType = 0;

}  // namespace

bool ProductColours::load(const char* szProductType, const char* szDataType, float fZr_A,
                          float fZr_B) {
    if (fnGetColorInfo(szProductType, szDataType, &info_) != 0) {
        return false;
    }
    table_.reset(fnReadColorTable(info_.m_szColorFile));
    if (table_ == nullptr) {
        return false;
    }
    // Rain and snow grids hold reflectivity; their colours are thresholds of rain rate.
    convertToRain_ = info_.m_nColorKind == CGI_EN_COLOR_RAIN &&
                     std::strcmp(szProductType, "VIL") != 0 &&
                     (std::strcmp(szDataType, "RN") == 0 || std::strcmp(szDataType, "SN") == 0);
    if (fZr_A > 0.0f && fZr_B > 0.0f && std::isfinite(fZr_A) && std::isfinite(fZr_B)) {
        zrA_ = fZr_A;
        zrB_ = fZr_B;
    }
    return true;
}

bool ProductColours::allocate(gdImagePtr img) {
    return table_ != nullptr && table_->m_iEchoColorCnt > 0 &&
           fnAllocColorTbl(img, table_.get(), echo_, disp_) == 0;
}

int ProductColours::colourOf(float value) const {
    if (value == kOutsideCoverage) {
        return disp_[CGI_EN_OUT_BOUND_COLOR];
    }
    if (value == kNoEcho || value >= kFirstMarker || !std::isfinite(value)) {
        return disp_[CGI_EN_IN_BOUND_COLOR];
    }
    const float v = convertToRain_ ? fnDbz_To_R_f(value, zrA_, zrB_) : value;
    const int level = fnGetColorLevel(v, table_.get(), info_.m_nColorKind, info_.m_fMinValue,
                                      kMinDiffType, kLevelDiffType);
    const int n = std::min(table_->m_iEchoColorCnt, CGI_MAX_ECHO_COLOR);
    return level >= 0 && level < n ? echo_[level] : disp_[CGI_EN_IN_BOUND_COLOR];
}

}  // namespace site_image
