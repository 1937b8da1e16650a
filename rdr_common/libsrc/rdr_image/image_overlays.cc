#include "image_overlays.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "internal/site_window.h"
#include "map_projections.h"
#include "owned_handles.h"
#include "rdr_root.h"

namespace {

using rdr_site_window::SiteProjection;

constexpr float kCompBaseGridKm = 4.0f;
constexpr int kMaxSiteRecords = 1000000;
// Map files of a whole region are a few MB; anything far larger is not a map file.
constexpr std::streamoff kMaxMapFileBytes = 256L * 1024 * 1024;
// Pixel positions are clamped before conversion to int: far-away points of a site map
// project thousands of pixels off the image, and gd clips lines anyway.
constexpr float kPixelLimit = 1.0e6f;
constexpr double kStationFontPt = 10.0;
constexpr int32_t kFineDetailClass = 3;
// World lines hold a point every 50 km at most; points farther than this beyond the image
// corners cannot belong to a line that crosses it.
constexpr double kWorldLineMarginKm = 200.0;
const char* const kNationalLines = "fine_kr_binary.dat";
const char* const kWorldLines = "world_binary.dat";

std::string resourcePath(const char* szDir, const char* szName) {
    return rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/" + szDir + "/" + szName;
}

bool readWholeFile(const std::string& path, std::vector<unsigned char>* pBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxMapFileBytes) {
        return false;
    }
    in.seekg(0, std::ios::beg);
    pBytes->resize(static_cast<size_t>(size));
    return size == 0 || static_cast<bool>(in.read(reinterpret_cast<char*>(pBytes->data()), size));
}

// Little-endian reader over a byte buffer that refuses to read past its end.
class LeCursor {
  public:
    explicit LeCursor(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    size_t remaining() const { return bytes_.size() - pos_; }
    bool u32(uint32_t* pOut) {
        if (remaining() < 4) {
            return false;
        }
        const unsigned char* p = bytes_.data() + pos_;
        *pOut = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        pos_ += 4;
        return true;
    }
    bool f32(float* pOut) {
        uint32_t u;
        if (!u32(&u)) {
            return false;
        }
        std::memcpy(pOut, &u, sizeof u);
        return true;
    }
    bool i32(int32_t* pOut) {
        uint32_t u;
        if (!u32(&u)) {
            return false;
        }
        std::memcpy(pOut, &u, sizeof u);
        return true;
    }

  private:
    const std::vector<unsigned char>& bytes_;
    size_t pos_ = 0;
};

int toPixel(float f) {
    if (!(f > -kPixelLimit)) {
        return static_cast<int>(-kPixelLimit);  // also NaN
    }
    if (f > kPixelLimit) {
        return static_cast<int>(kPixelLimit);
    }
    return static_cast<int>(f);
}

bool compCodeDrawn(float fCode) {
    switch (static_cast<int>(fCode)) {
        case 0:
        case 1:
        case 2:
        case 5:
        case 6:
        case 7:
        case 8:
            return fCode == std::trunc(fCode);
        default:
            return false;
    }
}

struct LatLon {
    float lat;
    float lon;
};

// Calls visit(iLineType, points) for each record of a geographic line file of at least one
// point, up to a short record, the end of the data or kMaxSiteRecords records.
template <typename Visit>
void forEachSiteLine(const std::vector<unsigned char>& bytes, Visit visit) {
    LeCursor in(bytes);
    std::vector<LatLon> points;
    int32_t iLineNum, iLineType;
    for (int n = 0; n < kMaxSiteRecords && in.i32(&iLineNum) && in.i32(&iLineType); ++n) {
        if (iLineNum <= 0) {
            continue;
        }
        if (static_cast<size_t>(iLineNum) > in.remaining() / 8) {
            break;  // a short record: the file ends here
        }
        points.resize(static_cast<size_t>(iLineNum));
        for (LatLon& p : points) {
            in.f32(&p.lat);
            in.f32(&p.lon);
        }
        visit(iLineType, points);
    }
}

// Points this far from the site never reach an image, and near the antipode the projection
// throws neighbouring points to opposite sides of the plane: a line between them would cut
// across the whole image.
constexpr double kMinCosDistance = 0.0;  // a quarter of the globe

// A latitude-longitude box in plain degrees east.
struct LonLatBox {
    float south = 90.0f, north = -90.0f, west = 180.0f, east = -180.0f;
    bool empty() const { return south > north; }
    bool contains(float fLat, float fLon) const {
        return fLat >= south && fLat <= north && fLon >= west && fLon <= east;
    }
    void add(float fLat, float fLon) {
        south = std::min(south, fLat);
        north = std::max(north, fLat);
        west = std::min(west, fLon);
        east = std::max(east, fLon);
    }
};

// The box the national line file covers: where it is drawn, the world file is not.
LonLatBox nationalLinesBox() {
    LonLatBox box;
    std::vector<unsigned char> bytes;
    if (readWholeFile(resourcePath("map", kNationalLines), &bytes)) {
        forEachSiteLine(bytes, [&](int32_t, const std::vector<LatLon>& points) {
            for (const LatLon& p : points) {
                if (std::isfinite(p.lat) && std::isfinite(p.lon)) {
                    box.add(p.lat, p.lon);
                }
            }
        });
    }
    return box;
}

// Line thickness of a site map record: fine-detail lines and every line of a coarse image
// are 1 pixel, other lines 2.
int siteLineThickness(bool bCoarse, int32_t iLineType) {
    return bCoarse || iLineType == kFineDetailClass ? 1 : 2;
}

bool isValidUtf8(const char* s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p != 0) {
        int extra = *p < 0x80             ? 0
                    : (*p & 0xE0) == 0xC0 ? 1
                    : (*p & 0xF0) == 0xE0 ? 2
                    : (*p & 0xF8) == 0xF0 ? 3
                                          : -1;
        if (extra < 0) {
            return false;
        }
        ++p;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return true;
}

// Station names are stored in EUC-KR; gd draws UTF-8. Names that already are UTF-8 (or
// ASCII) pass unchanged, as do names iconv cannot convert.
class EucKrToUtf8 {
  public:
    EucKrToUtf8() : cd_(iconv_open("UTF-8", "EUC-KR")) {}
    ~EucKrToUtf8() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }
    EucKrToUtf8(const EucKrToUtf8&) = delete;
    EucKrToUtf8& operator=(const EucKrToUtf8&) = delete;

    std::string convert(const char* szName) {
        if (isValidUtf8(szName) || cd_ == reinterpret_cast<iconv_t>(-1)) {
            return szName;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string in(szName);
        std::string out(in.size() * 3 + 4, '\0');
        char* pIn = in.data();
        char* pOut = out.data();
        size_t inLeft = in.size();
        size_t outLeft = out.size();
        if (iconv(cd_, &pIn, &inLeft, &pOut, &outLeft) == static_cast<size_t>(-1)) {
            return szName;
        }
        out.resize(out.size() - outLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

int fnDrawCompImgMap(char* szImgKind, gdImagePtr pImg, int /*iWidth*/, int iHeight,
                     float fImgGridKm, float fOrgX, float fOrgY, int iMoveX, int iMoveY,
                     int iMapColor) {
    if (pImg == nullptr || szImgKind == nullptr) {
        return -1;
    }
    const char* szFile = std::strcmp(szImgKind, "COMP_240") == 0 ? "map_data.bln" : "F2R_map4.bln";
    std::vector<unsigned char> bytes;
    if (!readWholeFile(resourcePath("map", szFile), &bytes)) {
        return 1;
    }
    const float fScale = kCompBaseGridKm / fImgGridKm;
    auto column = [&](float x) { return toPixel((x - fOrgX) * fScale + iMoveX); };
    auto row = [&](float y) { return toPixel(iHeight - (y + fOrgY) * fScale - iMoveY); };

    LeCursor in(bytes);
    float fCount, fCode, x, y;
    while (in.f32(&fCount) && in.f32(&fCode) && in.f32(&x) && in.f32(&y)) {
        // A count the rest of the file cannot hold means a damaged file: stop there.
        if (!std::isfinite(fCount) || fCount - 1.0f > static_cast<float>(in.remaining() / 8)) {
            break;
        }
        const long nFollowing = fCount > 1.0f ? static_cast<long>(fCount) - 1 : 0;
        const bool bDraw = compCodeDrawn(fCode);
        int iPrevX = column(x), iPrevY = row(y);
        for (long i = 0; i < nFollowing; ++i) {
            if (!in.f32(&x) || !in.f32(&y)) {
                return 1;
            }
            const int iX = column(x), iY = row(y);
            if (bDraw) {
                gdImageLine(pImg, iPrevX, iPrevY, iX, iY, iMapColor);
            }
            iPrevX = iX;
            iPrevY = iY;
        }
    }
    return 1;
}

int fnDrawSiteImgMap(gdImagePtr pImg, int /*iWidth*/, int iHeight, float fImgGridKm, float fSiteLon,
                     float fSiteLat, float fSiteXo, float fSiteYo, int iMapColor) {
    if (pImg == nullptr) {
        return 0;
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(resourcePath("map", kNationalLines), &bytes)) {
        return 0;
    }
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fSiteXo, fSiteYo);
    const bool bCoarse = fImgGridKm > 0.5f;
    auto column = [](float fx) { return toPixel(fx + 0.5f); };
    auto row = [iHeight](float fy) { return (iHeight - 1) - toPixel(fy + 0.5f); };

    forEachSiteLine(bytes, [&](int32_t iLineType, const std::vector<LatLon>& points) {
        gdImageSetThickness(pImg, 1);
        gdImageSetThickness(pImg, siteLineThickness(bCoarse, iLineType));
        if (bCoarse && iLineType == kFineDetailClass) {
            return;
        }
        float fx = 0.0f, fy = 0.0f;
        proj.forward(points[0].lon, points[0].lat, &fx, &fy);
        bool bPrevNear = proj.cosDistance(points[0].lon, points[0].lat) >= kMinCosDistance;
        int iPrevX = column(fx), iPrevY = row(fy);
        for (size_t i = 1; i < points.size(); ++i) {
            proj.forward(points[i].lon, points[i].lat, &fx, &fy);
            const bool bNear = proj.cosDistance(points[i].lon, points[i].lat) >= kMinCosDistance;
            const int iX = column(fx), iY = row(fy);
            if (bNear && bPrevNear) {
                gdImageLine(pImg, iPrevX, iPrevY, iX, iY, iMapColor);
            }
            iPrevX = iX;
            iPrevY = iY;
            bPrevNear = bNear;
        }
    });
    return 1;
}

int fnDrawSiteImgWorldMap(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                          float fSiteLon, float fSiteLat, float fSiteXo, float fSiteYo,
                          int iMapColor) {
    if (pImg == nullptr || !rdr_site_window::usableSite(fSiteLon, fSiteLat, fImgGridKm)) {
        return 0;
    }
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fSiteXo, fSiteYo);
    const LonLatBox national = nationalLinesBox();
    const rdr_site_window::GeoExtent window =
        rdr_site_window::siteWindowExtent(proj, iWidth, iHeight);
    const double west = fSiteLon + window.west, east = fSiteLon + window.east;
    if (!national.empty() && window.south >= national.south && window.north <= national.north &&
        west >= national.west && east <= national.east) {
        return 1;  // the national lines cover the whole image
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(resourcePath("map", kWorldLines), &bytes)) {
        return 0;
    }
    const double dReachKm =
        0.5 * std::hypot(static_cast<double>(iWidth), static_cast<double>(iHeight)) * fImgGridKm +
        kWorldLineMarginKm;
    const double dReachRad = std::min(dReachKm / rdr_site_window::kEarthRadiusKm, 1.5707);
    const double dMinCos = std::max(kMinCosDistance, std::cos(dReachRad));
    // Latitude alone rules out most of the globe without any trigonometry.
    const double dReachDeg = dReachRad * 180.0 / 3.14159265358979323846;
    const bool bCoarse = fImgGridKm > 0.5f;
    auto column = [](float fx) { return toPixel(fx + 0.5f); };
    auto row = [iHeight](float fy) { return (iHeight - 1) - toPixel(fy + 0.5f); };
    const int iSavedThickness = pImg->thick;

    forEachSiteLine(bytes, [&](int32_t iLineType, const std::vector<LatLon>& points) {
        if (bCoarse && iLineType == kFineDetailClass) {
            return;
        }
        gdImageSetThickness(pImg, siteLineThickness(bCoarse, iLineType));
        bool bPrevUsable = false, bPrevNational = false;
        int iPrevX = 0, iPrevY = 0;
        for (const LatLon& p : points) {
            const bool bUsable = std::fabs(p.lat - fSiteLat) <= dReachDeg &&
                                 proj.cosDistance(p.lon, p.lat) >= dMinCos;
            const bool bNational = national.contains(p.lat, p.lon);
            int iX = 0, iY = 0;
            if (bUsable) {
                float fx = 0.0f, fy = 0.0f;
                proj.forward(p.lon, p.lat, &fx, &fy);
                iX = column(fx);
                iY = row(fy);
                if (bPrevUsable && !(bNational && bPrevNational)) {
                    gdImageLine(pImg, iPrevX, iPrevY, iX, iY, iMapColor);
                }
            }
            bPrevUsable = bUsable;
            bPrevNational = bNational;
            iPrevX = iX;
            iPrevY = iY;
        }
    });
    gdImageSetThickness(pImg, iSavedThickness);
    return 1;
}

int fnDrawSiteImgAws(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm, float fSiteLon,
                     float fSiteLat, float fSiteXo, float fSiteYo, int iAwsColor, int iFontColor) {
    if (pImg == nullptr) {
        return 0;
    }
    const char* szList = fImgGridKm > 0.5f ? "aws_pos_han_1.txt" : "aws_pos_han_2.txt";
    rdr::FilePtr file(std::fopen(resourcePath("aws", szList).c_str(), "r"));
    if (!file) {
        return 0;
    }
    int iCount = 0;
    if (std::fscanf(file.get(), "%d", &iCount) != 1) {
        return 0;
    }
    std::string font = resourcePath("font", "gulim.ttc");
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fSiteXo, fSiteYo);
    EucKrToUtf8 toUtf8;
    // The width bound keeps an overlong name from overrunning the buffer; such a line
    // then fails to parse and ends the list, like any malformed entry.
    char szName[256];
    float fLat, fLon;
    for (int i = 0; i < iCount; ++i) {
        if (std::fscanf(file.get(), "%255s %f %f", szName, &fLat, &fLon) != 3) {
            break;
        }
        float fx = 0.0f, fy = 0.0f;
        proj.forward(fLon, fLat, &fx, &fy);
        const int c = toPixel(fx);
        const int r = (iHeight - 1) - toPixel(fy);
        if (c + 1 < 0 || c + 1 > iWidth || r < 0 || r > iHeight) {
            continue;
        }
        gdImageFilledEllipse(pImg, c + 1, r, 4, 4, iAwsColor);
        std::string name = toUtf8.convert(szName);
        int brect[8];
        gdImageStringTTF(pImg, brect, iFontColor, font.data(), kStationFontPt, 0.0, c - 25, r - 2,
                         name.data());
    }
    return 1;
}
