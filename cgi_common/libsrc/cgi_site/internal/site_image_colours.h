// The colours of one product and field on a site image: the colour information row, its
// colour table and the colours allocated in the image; and the rule that turns a grid
// value into a pixel colour.
#ifndef CGI_SITE_IMAGE_COLOURS_H
#define CGI_SITE_IMAGE_COLOURS_H

#include <gd.h>

#include <cstdlib>
#include <memory>

#include "display_colours.h"
#include "owned_handle.h"
#include "site_drawing.h"

namespace site_image {

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using ImageDeleter = rdr::ReleaseWith<gdImageDestroy>;
using ImagePtr = std::unique_ptr<gdImage, ImageDeleter>;

class ProductColours {
  public:
    // False when the product has no colour row or its colour file cannot be read.
    bool load(const char* szProductType, const char* szDataType, float fZr_A, float fZr_B);
    // Allocates the colours in img; false when the table has no echo colours.
    bool allocate(gdImagePtr img);

    // Pixel colour of a grid value: out-bound for -9998, in-bound for no echo, a marker or
    // a value below the scale's minimum, else the echo colour of its level (rain fields
    // coloured by rain rate are converted from dBZ first).
    int colourOf(float value) const;

    const st_ColorInfo& info() const { return info_; }
    CGI_COLOR_TBL* table() const { return table_.get(); }
    int* echoColours() { return echo_; }
    int display(int index) const { return disp_[index]; }

  private:
    st_ColorInfo info_{};
    std::unique_ptr<CGI_COLOR_TBL, FreeDeleter> table_;
    bool convertToRain_ = false;
    float zrA_ = 200.0f;
    float zrB_ = 1.6f;
    int echo_[CGI_MAX_ECHO_COLOR] = {};
    int disp_[CGI_EN_DISP_COLOR_MAX] = {};
};

}  // namespace site_image

#endif
