#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image_layers.h"
#include "precipview_state.h"
#include "rdr_root.h"
#include "time_seq.h"

// Labels are EUC-KR: "없음", "비", "눈비", "눈".
RNEX_COLOR rnex_color[4] = {
    {1, "\xbe\xf8\xc0\xbd", 0, 255, 255, 255},
    {2, "AWS", 0, 51, 204, 51},
    {3, "RDR", 0, 51, 153, 255},
    {4, "AWS RDR", 0, 57, 57, 209},
};

RNSN_COLOR rnsn_color[4] = {
    {1, "\xbe\xf8\xc0\xbd", 0, 255, 255, 255},
    {2, "\xba\xf1", 0, 51, 102, 255},
    {3, "\xb4\xab\xba\xf1", 0, 102, 255, 255},
    {4, "\xb4\xab", 0, 255, 102, 255},
};

namespace {

constexpr int kMaxScaleLines = 120;

struct FixedSlot {
    int slot;
    int R, G, B;
};

constexpr FixedSlot kFixedSlots[] = {
    {150, 206, 229, 241}, {151, 240, 240, 225}, {152, 170, 170, 170}, {153, 120, 120, 120},
    {171, 98, 169, 213},  {240, 180, 180, 180}, {241, 255, 255, 255}, {242, 30, 30, 30},
    {243, 12, 28, 236},   {244, 0, 0, 0},       {245, 240, 240, 240}, {246, 255, 0, 0},
    {247, 0, 0, 255},     {248, 160, 160, 160}, {249, 110, 110, 110}, {250, 80, 80, 80},
    {251, 255, 0, 172},   {252, 57, 57, 209},
};

// Lowest wet-bulb temperature shown per month, January first (deg C).
constexpr float kTwLowerBound[12] = {-15, -15, -10, -5, 5, 5, 10, 10, 0, -5, -10, -15};

const char* scale_file(const char* obs) {
    if (std::strcmp(obs, "TW") == 0) {
        return "/rdr/REF/COLOR/color_ta_e30.rgb";
    }
    if (std::strcmp(obs, "HSR") == 0 || std::strcmp(obs, "RN15X") == 0) {
        return "/rdr/REF/COLOR/color_rn_echo.rgb";
    }
    return nullptr;
}

int clamp_rgb(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

int read_scale(gdImagePtr im, const char* name, int color_lvl[], float data_lvl[]) {
    if (name == nullptr) {
        return 0;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> fp(
        std::fopen(rdrRootPath(std::string(name)).c_str(), "r"), std::fclose);
    if (!fp) {
        return 0;
    }
    int n = 0;
    int R, G, B;
    float level;
    while (n < kMaxScaleLines && std::fscanf(fp.get(), "%d %d %d %f", &R, &G, &B, &level) == 4) {
        color_lvl[n] = gdImageColorAllocate(im, clamp_rgb(R), clamp_rgb(G), clamp_rgb(B));
        data_lvl[n] = level;
        n++;
    }
    return n;
}

}  // namespace

int color_table(gdImagePtr im, int color_lvl[], float data_lvl[]) {
    var.num_color = 0;
    if (std::strcmp(var.obs, "RNEX") == 0) {
        for (int k = 0; k < 4; k++) {
            auto& c = rnex_color[k];
            c.color = gdImageColorAllocate(im, c.R, c.G, c.B);
            color_lvl[k] = c.color;
            data_lvl[k] = static_cast<float>(c.rnex);
        }
        var.num_color = 4;
    } else if (pv_is_type_product(var.obs)) {
        for (int k = 0; k < 4; k++) {
            auto& c = rnsn_color[k];
            c.color = gdImageColorAllocate(im, c.R, c.G, c.B);
            color_lvl[k] = c.color;
            data_lvl[k] = static_cast<float>(c.rnsn);
        }
        var.num_color = 4;
    } else {
        var.num_color = read_scale(im, scale_file(var.obs), color_lvl, data_lvl);
    }

    for (const auto& f : kFixedSlots) {
        color_lvl[f.slot] = gdImageColorAllocate(im, f.R, f.G, f.B);
    }
    data_lvl[150] = 1.0f;
    data_lvl[151] = 100.0f;
    data_lvl[152] = 500.0f;
    data_lvl[153] = 5000.0f;
    var.num_color_topo = 3;

    if (std::strcmp(var.obs, "TW") == 0 && var.num_color > 0) {
        int YY, MM, DD, HH, MI;
        seq2time(var.seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
        float lower = kTwLowerBound[(MM >= 1 && MM <= 12) ? MM - 1 : 0];
        float d = data_lvl[0] - lower - 1.0f;
        for (int k = 0; k < var.num_color; k++) {
            data_lvl[k] -= d;
        }
    }
    return 0;
}

int pv_class_of(float v, const float data_lvl[], int num_color) {
    for (int k = 0; k < num_color; k++) {
        if (v <= data_lvl[k]) {
            return k;
        }
    }
    return num_color - 1;
}

ClassLookup::ClassLookup(const float data_lvl[], int num_color)
    : levels_(data_lvl), n_(num_color), sorted_(std::is_sorted(data_lvl, data_lvl + num_color)) {}

int ClassLookup::operator()(float v) const {
    if (!sorted_) {
        return pv_class_of(v, levels_, n_);
    }
    // Ascending levels: the first level not below v is the lower bound.
    const float* k = std::lower_bound(levels_, levels_ + n_, v);
    return k == levels_ + n_ ? n_ - 1 : static_cast<int>(k - levels_);
}
