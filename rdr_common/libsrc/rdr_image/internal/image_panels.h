// Pieces shared by every image of the library: the colour bar beside the echo panel and
// the encoder that writes a finished image to its file.
#ifndef RDR_IMAGE_PANELS_H
#define RDR_IMAGE_PANELS_H

#include <gd.h>

#include <memory>
#include <string>

#include "colour_tables.h"
#include "info_tables.h"

namespace rdr_image_panels {

struct ImageDeleter {
    void operator()(gdImagePtr p) const { gdImageDestroy(p); }
};
using Image = std::unique_ptr<gdImage, ImageDeleter>;

// Characters of a colour-bar label or unit title.
constexpr int kLabelMax = 31;

// The echo colours as boxes stacked from the lowest level at the bottom, each iHeight / n
// pixels tall, with the threshold between two boxes written on their border. The labels use
// the display format of the field; rain-rate columns and echo tops use a one-decimal step
// format below 10. szProduct names the product family shown ("ETOP", ...).
void drawColourBar(gdImagePtr pImg, int iHeight, const int* echoColorBar,
                   const RDR_COLOR_TBL& colours, const RDR_DISP_INFO_TBL& disp,
                   const char* szProduct);

// Encodes the image as PNG, GIF (true colour reduced to a palette) or JPEG and replaces the
// file atomically (devices and FIFOs are written in place). False when the type is unknown
// or the file could not be written, with the reason in *pWhy for the latter.
bool saveImage(gdImagePtr pImg, int iType, const char* szOutFile, std::string* pWhy);

}  // namespace rdr_image_panels

#endif
