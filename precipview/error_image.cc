#include <cstdio>
#include <cstring>

#include <gdfontl.h>
#include <gdfonts.h>

#include "image_layers.h"
#include "precipview_state.h"
#include "request.h"
#include "time_seq.h"

namespace {
// Canvas width when the requested size cannot be used.
constexpr int kFallbackSize = 600;

unsigned char* text(char* s) {
    return reinterpret_cast<unsigned char*>(s);
}
}  // namespace

int err_img(int err) {
    // A refused request may carry any size; the canvas keeps to the accepted range.
    int size = (var.size >= kMinImageSize && var.size <= kMaxImageSize) ? var.size : kFallbackSize;
    var.NI = size;
    var.NJ = size;
    var.GI = var.NI + (var.legend == 1 ? 35 : 0);
    var.GJ = var.NJ + 20;
    gdImagePtr im = gdImageCreate(var.GI, var.GJ);
    if (im == nullptr) {
        return -1;
    }
    int background = gdImageColorAllocate(im, 240, 240, 240);
    int ink = gdImageColorAllocate(im, 0, 0, 0);
    gdImageFilledRectangle(im, 0, 0, var.GI, var.GJ, background);
    gdFontPtr font = gdFontGetLarge();

    int YY, MM, DD, HH, MI;
    seq2time(var.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
    char line[400];
    std::snprintf(line, sizeof line, "TIME = %04d.%02d.%02d.%02d:%02d / err = %d", YY, MM, DD, HH,
                  MI, err);
    gdImageString(im, font, 50, 50, text(line), ink);
    std::snprintf(line, sizeof line, "CMP = %s / QCD = %s / OBS = %s", var.cmp, var.qcd, var.obs);
    gdImageString(im, font, 50, 70, text(line), ink);
    if (pv_refusal()[0] != '\0') {
        std::snprintf(line, sizeof line, "WHY = %s", pv_refusal());
        gdImageString(im, font, 50, 90, text(line), ink);
    }
    std::snprintf(line, sizeof line, "SIZE = %dpx", var.size);
    gdImageString(im, font, 50, 110, text(line), ink);
    // The file's own name only: the folders it lives in are the server's business.
    const char* slash = std::strrchr(var.fname, '/');
    const char* name = slash != nullptr ? slash + 1 : var.fname;
    std::snprintf(line, sizeof line, err == 2 ? "FILE = %s (file is not found)" : "FILE = %s",
                  name);
    gdImageString(im, font, 50, 130, text(line), ink);
    int rc = pv_send_png(im);
    gdImageDestroy(im);
    return rc;
}
