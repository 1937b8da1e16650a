// New images of the composite drawing: true-colour, filled with their background without
// blending, then with blending on so that text and lines drawn later blend as usual.
#ifndef CGI_COMP_INTERNAL_COMPOSITE_CANVAS_H
#define CGI_COMP_INTERNAL_COMPOSITE_CANVAS_H

#include <gd.h>

#include "owned_handle.h"

namespace comp_canvas {

// Null when memory runs out. saveAlpha keeps the alpha channel in the PNG.
inline rdr::GdImageHandle newImage(int w, int h, int background, bool saveAlpha) {
    rdr::GdImageHandle img(gdImageCreateTrueColor(w, h));
    if (img != nullptr) {
        gdImageSaveAlpha(img.get(), saveAlpha ? 1 : 0);
        gdImageAlphaBlending(img.get(), 0);
        gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1, background);
        gdImageAlphaBlending(img.get(), 1);
    }
    return img;
}

// Fully transparent, alpha saved: the background of every composite layer.
inline rdr::GdImageHandle newTransparentImage(int w, int h) {
    return newImage(w, h, gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent), true);
}

}  // namespace comp_canvas

#endif
