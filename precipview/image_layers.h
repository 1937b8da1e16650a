// Drawing of the precipitation-type image: palette, layers, title, legend, frame, output.
#ifndef PRECIPVIEW_IMAGE_LAYERS_H
#define PRECIPVIEW_IMAGE_LAYERS_H

#include <gd.h>

#include <cstddef>

// Fixed palette slots of color_lvl (the palette index sits in the slot).
enum : int {
    kSlotTopoBase = 150,  // 150..153 topography bounds
    kSlotTopo100 = 151,
    kSlotTopo500 = 152,
    kSlotTopo5000 = 153,
    kSlotUnused171 = 171,
    kSlotBackground = 240,
    kSlotWhite = 241,
    kSlotFrame = 242,
    kSlotUnused243 = 243,
    kSlotText = 244,
    kSlotStationRing = 245,
    kSlotRed = 246,
    kSlotBlue = 247,
    kSlotUnused248 = 248,
    kSlotMapKind1 = 249,
    kSlotUnused250 = 250,
    kSlotSection = 251,
    kSlotRnexDisp = 252,
};

struct RNEX_COLOR {
    int rnex;
    char rnex_ko[20];
    int color;
    int R, G, B;
};

struct RNSN_COLOR {
    int rnsn;
    char rnsn_ko[10];
    int color;
    int R, G, B;
};

extern RNEX_COLOR rnex_color[4];
extern RNSN_COLOR rnsn_color[4];

// Whole drawing and output of the answer; 0, or -1 when the image cannot be made.
int precipview();

// The drawing alone: the finished image (caller destroys it), or null when the window and
// size give no usable image.
gdImagePtr pv_draw_image();

int color_table(gdImagePtr im, int color_lvl[], float data_lvl[]);
int grid_disp(gdImagePtr im, int color_lvl[], float data_lvl[]);
int topo_disp(gdImagePtr im, int color_lvl[], float data_lvl[]);
int map_disp(gdImagePtr im, int color_map, int kind);
int title_disp(gdImagePtr im, int color_lvl[]);
int legend_disp(gdImagePtr im, int color_lvl[], float data_lvl[]);
int cross_line_disp(gdImagePtr im, int color_lvl[]);

// Grey error image naming time, request and file; sent like the normal answer.
int err_img(int err);

// Scale class of value v: the first level not below v, else the last class.
int pv_class_of(float v, const float data_lvl[], int num_color);

// The same lookup for many values: a binary search when the levels ascend (as scale files
// normally do), the plain scan otherwise.
class ClassLookup {
  public:
    ClassLookup(const float data_lvl[], int num_color);
    int operator()(float v) const;

  private:
    const float* levels_;
    int n_;
    bool sorted_;
};

// Title text (EUC-KR) of a product; empty for an unknown name.
const char* pv_title_euckr(const char* obs);

// EUC-KR to UTF-8; out zero-filled with room for twice the input length. Stops at an
// invalid sequence. Returns 0, or -1 when iconv is unavailable.
int euckr2utf(const char* str, char* out);

// TrueType text in the program's Korean font (UTF-8 input); silently nothing without it.
void pv_draw_ttf(gdImagePtr im, int color, double size, int x, int y, const char* utf8);

// Writes "Content-type: image/png", an empty line and the PNG to standard output.
int pv_send_png(gdImagePtr im);

// Zoom path: scale and offsets of one layer.
struct ZoomPath {
    float xo;
    float yo;
    float zm;
};

// Applies the zoom path of var to a layer of extent W x H starting at offsets (xo, yo);
// force_rate2 uses the rate-2 rule whatever zoom_rate says (cross-section line).
ZoomPath pv_zoom_path(float W, float H, float xo, float yo, bool force_rate2);

#endif
