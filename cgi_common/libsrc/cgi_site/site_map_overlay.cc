// Map lines and station marks of the site image.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display_projections.h"
#include "internal/site_draw_text.h"
#include "owned_handle.h"
#include "rdr_root.h"
#include "site_drawing.h"

namespace {

// Earth radius of the site projection, km (held as the float 6371.0087890625).
constexpr float kEarthRadiusKm = 6371.00877f;
constexpr int kMaxMapRecords = 1000000;
// The national map file is well under a megabyte; anything far larger is not a map file.
constexpr long kMaxMapFileBytes = 256L * 1024 * 1024;
// The fine-detail line class, not drawn on site images.
constexpr int32_t kFineDetailClass = 3;
// Far-away map points project thousands of pixels off the image; positions are clamped
// before conversion to int (gd clips the lines).
constexpr double kPixelLimit = 1.0e6;
constexpr double kStationFontPt = 10.0;

using FileCloser = rdr::ReleaseWith<rdr::closeStdio>;
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(f.get());
    if (size < 0 || size > kMaxMapFileBytes || std::fseek(f.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

// Little-endian words of a byte buffer; refuses to read past its end.
class LeWords {
  public:
    explicit LeWords(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    size_t remaining() const { return bytes_.size() - pos_; }
    bool word(uint32_t& out) {
        if (remaining() < 4) {
            return false;
        }
        const unsigned char* p = bytes_.data() + pos_;
        out = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        pos_ += 4;
        return true;
    }
    template <class T>
    bool next(T& out) {
        static_assert(sizeof(T) == 4);
        uint32_t u;
        if (!word(u)) {
            return false;
        }
        std::memcpy(&out, &u, 4);
        return true;
    }

  private:
    const std::vector<unsigned char>& bytes_;
    size_t pos_ = 0;
};

int toPixel(double v) {
    if (!(v > -kPixelLimit)) {
        return static_cast<int>(-kPixelLimit);  // also NaN
    }
    return static_cast<int>(v < kPixelLimit ? v : kPixelLimit);
}

// The azimuthal projection around the site, the site at grid point (trunc xo, trunc yo).
struct SiteProjection {
    st_AzedParameter map;
    st_AzedVar var{};
    SiteProjection(float gridKm, float lon, float lat, float xo, float yo)
        : map(fnCgiGetMapInfoAzed(kEarthRadiusKm, lon, lat, lon, lat, gridKm, static_cast<int>(xo),
                                  static_cast<int>(yo))) {}
    bool forward(float lon, float lat, float& x, float& y) {
        return fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var) == 0;
    }
};

}  // namespace

int fnDrawMap(gdImagePtr pImg, float fSiteLon, float fSiteLat, float fXo, float fYo,
              float fImgGridKm, int nMapColor) {
    if (pImg == nullptr) {
        return -1;
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(rdrRootPath(std::string("/rdr/REF/MAP/fine_kr_binary.dat")), bytes)) {
        return -1;
    }
    if (!(fImgGridKm > 0.0f) || !std::isfinite(fXo) || !std::isfinite(fYo)) {
        return 0;
    }
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fXo, fYo);
    // Rows mirror y about the site's row, so that the site itself lands on (fXo, fYo) like
    // the rings and stations drawn around it.
    const int siteRow2 = 2 * toPixel(fYo);
    auto pixel = [&](float lat, float lon, int& col, int& row) {
        float x = 0.0f;
        float y = 0.0f;
        if (!proj.forward(lon, lat, x, y)) {
            return false;
        }
        col = toPixel(x + 0.5);
        row = siteRow2 - toPixel(y + 0.5);
        return true;
    };
    gdImageSetThickness(pImg, 1);
    LeWords in(bytes);
    int32_t count = 0;
    int32_t lineClass = 0;
    for (int n = 0; n < kMaxMapRecords && in.next(count) && in.next(lineClass); ++n) {
        if (count <= 0) {
            continue;
        }
        if (static_cast<size_t>(count) > in.remaining() / 8) {
            break;  // a record cut short: the file ends here
        }
        const bool draw = lineClass != kFineDetailClass;
        float lat = 0.0f;
        float lon = 0.0f;
        int prevCol = 0;
        int prevRow = 0;
        bool havePrev = false;
        for (int32_t i = 0; i < count; ++i) {
            in.next(lat);
            in.next(lon);
            int col = 0;
            int row = 0;
            if (!draw || !pixel(lat, lon, col, row)) {
                havePrev = false;
                continue;
            }
            if (havePrev) {
                gdImageLine(pImg, prevCol, prevRow, col, row, nMapColor);
            }
            prevCol = col;
            prevRow = row;
            havePrev = true;
        }
    }
    return 0;
}

int fnSiteAws(gdImagePtr pImg, int nImgXdim, int nImgYdim, float fImgGridKm, float fSiteLon,
              float fSiteLat, float fXo, float fYo, int iAwsColor, int iFontColor) {
    if (pImg == nullptr) {
        return -1;
    }
    FilePtr file(
        std::fopen(rdrRootPath(std::string("/rdr/REF/AWS/aws_pos_han_1.txt")).c_str(), "r"));
    if (!file) {
        return -1;
    }
    int count = 0;
    if (std::fscanf(file.get(), "%d", &count) != 1) {
        return -1;
    }
    if (!(fImgGridKm > 0.0f)) {
        return 0;
    }
    const std::string font = site_text::refFont("gulim.ttc");
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fXo, fYo);
    // The width bound keeps an overlong name from overrunning the buffer; such a line then
    // fails to parse and ends the list, like any malformed entry.
    char name[256];
    float lat = 0.0f;
    float lon = 0.0f;
    for (int i = 0; i < count; ++i) {
        if (std::fscanf(file.get(), "%255s %f %f", name, &lat, &lon) != 3) {
            break;
        }
        float x = 0.0f;
        float y = 0.0f;
        if (!proj.forward(lon, lat, x, y)) {
            continue;
        }
        const int c = toPixel(x);
        const int r = (nImgYdim - 1) - toPixel(y);
        if (c + 1 < 0 || c + 1 > nImgXdim || r < 0 || r > nImgYdim) {
            continue;
        }
        gdImageFilledEllipse(pImg, c + 1, r, 4, 4, iAwsColor);
        site_text::drawText(pImg, font, kStationFontPt, iFontColor, c - 25, r - 2,
                            site_text::stationNameUtf8(name));
    }
    return 0;
}
