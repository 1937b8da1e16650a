// The composite image of a request: the grid read from its file, the image grid of its
// window, and the drawing of the echo (or the library's forecast view) with the overlays,
// title and legend.
#ifndef COMPVIEW_COMP_IMAGE_H
#define COMPVIEW_COMP_IMAGE_H

#include "comp_data_file.h"
#include "comp_request.h"
#include "owned_handle.h"

// Width of the legend strip added at the right of the echo area when the legend is on.
constexpr int kCvLegendStrip = 46;

// Size of the image of a request (echo area of its window, plus the legend strip).
int cvImageWidth(const CvRequest& req);
int cvImageHeight(const CvRequest& req);

// Reads the request's grid from path (the file of time t) and draws its image. Null, with a
// reason (kCvReasonSize bytes), when the file does not hold the grid or the image cannot be
// drawn.
rdr::GdImageHandle cvDrawImage(const CvRequest& req, const CvTime& t, const char* path,
                               char* reason);

#endif
