#include "lgt_answer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "display_colours.h"
#include "display_utilities.h"
#include "lgt_map.h"
#include "lightning_drawing.h"
#include "lightning_input.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

using TablePtr = std::unique_ptr<CGI_COLOR_TBL, rdr::ReleaseWith<rdr::freeMemory>>;

// Background of the legend strip: the legend's white text needs a dark ground.
constexpr int kLegendGround = 0x303038;
// "Lightning data cannot be shown."
constexpr const char* kErrorMessage = "낙뢰 자료를 표시할 수 없습니다.";

// YYYYMMDDHHMM of a time the request's bounds keep within 1970 to 2099.
void formatTime(const struct tm& t, char* out) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min);
    std::memcpy(out, buf, 12);
    out[12] = '\0';
}

// Minutes since 1970-01-01 00:00 of a YYYYMMDDHHMM wall-clock time (days from the civil
// calendar; the local time has no daylight saving to skip).
long long wallMinutes(const char* t) {
    auto num = [&](int at, int n) {
        int v = 0;
        for (int k = at; k < at + n; ++k) {
            v = v * 10 + (t[k] - '0');
        }
        return v;
    };
    int y = num(0, 4);
    const int m = num(4, 2), d = num(6, 2);
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
    return days * 1440 + num(8, 2) * 60 + num(10, 2);
}

const LvMapWindow& windowOf(const LvRequest& req) {
    const LvMapWindow* w = lvFindMapWindow(req.map);
    return w != nullptr ? *w : *lvFindMapWindow("SK");
}

bool send(gdImagePtr img) {
    if (cgiWritePngAnswer(img, stdout) != 0) {
        std::fprintf(stderr, "lgtview: the answer could not be written\n");
    }
    std::fflush(stdout);
    return true;
}

// One strike on the map: its colour level and marker by polarity and type.
struct Painter {
    gdImagePtr img;
    LvMapProjection* proj;
    const LvRequest* req;
    CGI_COLOR_TBL* table;
    const int* echo;
    long long endMinutes;
    int classMinutes;
    int levels;
    int drawn = 0;

    void strike(const char* time, float lon, float lat, float impact, char type) {
        double x = 0.0;
        double y = 0.0;
        if (!proj->toPixel(lon, lat, &x, &y) || x < 0.0 || y < 0.0 || x >= proj->width() ||
            y >= proj->height()) {
            return;
        }
        int level = 0;
        if (req->product == LvProduct::Intensity) {
            level = fnGetColorLevel(std::fabs(impact), table, CGI_EN_COLOR_RAIN, 0.0f, 2, 2);
        } else {
            const long long age = endMinutes - wallMinutes(time);
            level = LGT_LEGEND_LEVELS - 1 - static_cast<int>(age / classMinutes);
        }
        level = std::clamp(level, 0, levels - 1);
        const int px = static_cast<int>(x);
        const int py = static_cast<int>(y) + kLvTitleRows;
        if (type == 'C' || type == 'c') {
            fnImageFillArc(img, px, py, 4, 4, echo[level]);  // within the cloud
        } else if (impact > 0.0f) {
            fnImagePlus(img, px, py, echo[level]);
        } else {
            fnImageCircle(img, px, py, echo[level]);
        }
        ++drawn;
    }
};

bool validUtf8(const char* s) {
    for (size_t i = 0; s[i] != '\0';) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += 1 + static_cast<size_t>(extra);
    }
    return true;
}

// The provinces with the most strikes over the period's days, from the area statistics
// files, as a small table in the map's lower left corner. Nothing when there is no area
// list or no statistics file.
void drawAreaTable(gdImagePtr img, const LvRequest& req, const LvWindow& window, int mapH) {
    std::vector<BASIN_DATA> areas(kLvMaxAreas);
    const std::string list = rdrRootPath(std::string(kLvAreaListPath));
    const int n = fnInitLgtBasinData(list.c_str(), LGT_BASIN_TYPE_DO, areas.data(), kLvMaxAreas);
    if (n <= 0) {
        return;
    }
    const int merged = fnReadLgtDataBasin(window.end, 'D', req.interval, areas.data(), n);
    if (merged <= 0) {
        return;
    }
    std::vector<const BASIN_DATA*> rows;
    for (int k = 0; k < merged; ++k) {
        if (areas[k].m_nLgtCnt > 0) {
            rows.push_back(&areas[k]);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const BASIN_DATA* a, const BASIN_DATA* b) {
        return a->m_nLgtCnt > b->m_nLgtCnt;
    });
    rows.resize(std::min<size_t>(rows.size(), kLvAreaRows));
    if (rows.empty()) {
        return;
    }
    std::string font = lgtFont("NanumGothic.ttf");
    constexpr int kRowHeight = 16;
    const int top = kLvTitleRows + mapH - 8 - kRowHeight * (static_cast<int>(rows.size()) + 1);
    gdImageFilledRectangle(img, 6, top, 206, kLvTitleRows + mapH - 6, 0xFFFFFF);
    gdImageRectangle(img, 6, top, 206, kLvTitleRows + mapH - 6, 0x000000);
    auto text = [&](int x, int y, const std::string& t) {
        std::string copy = t;
        int box[8];
        gdImageStringFT(img, box, 0x000000, font.data(), 9.0, 0.0, x, y, copy.data());
    };
    text(12, top + 14, "area");
    text(120, top + 14, "strikes");
    text(168, top + 14, "max kA");
    for (size_t k = 0; k < rows.size(); ++k) {
        const BASIN_DATA& a = *rows[k];
        const int y = top + 14 + kRowHeight * static_cast<int>(k + 1);
        char number[32];
        if (validUtf8(a.m_szName)) {
            text(12, y, std::string(a.m_szName).substr(0, 40));
        } else {
            std::snprintf(number, sizeof number, "%d", a.m_nCode);
            text(12, y, number);
        }
        std::snprintf(number, sizeof number, "%d", a.m_nLgtCnt);
        text(120, y, number);
        std::snprintf(
            number, sizeof number, "%.0f",
            std::isfinite(a.m_fMax_impact) ? std::clamp(a.m_fMax_impact, -1e6f, 1e6f) : 0.0f);
        text(168, y, number);
    }
}

}  // namespace

LvWindow lvWindowOf(const LvRequest& req) {
    LvWindow w{};
    struct tm end = {};
    end.tm_year = req.year - 1900;
    end.tm_mon = req.month - 1;
    end.tm_mday = req.day;
    end.tm_hour = req.hour;
    end.tm_min = req.minute;
    end.tm_isdst = -1;
    int windowMinutes = 0;
    switch (req.product) {
        case LvProduct::Intensity:
            windowMinutes = req.interval;
            w.classMinutes = req.interval;
            w.titleMinutes = req.interval;
            break;
        case LvProduct::Area:
            windowMinutes = req.interval * 1440;
            w.classMinutes = req.interval * 1440 / LGT_LEGEND_LEVELS;
            w.titleMinutes = windowMinutes;
            break;
        case LvProduct::Time:
        case LvProduct::World:
            windowMinutes = req.interval * LGT_LEGEND_LEVELS;
            w.classMinutes = req.interval;
            w.titleMinutes = windowMinutes;
            break;
    }
    formatTime(end, w.end);
    // The window holds windowMinutes whole minutes, the end minute included.
    formatTime(fnGetIncMin(end, -(windowMinutes - 1)), w.start);
    return w;
}

void lvAnswerRefusal(const char* reason) {
    std::fprintf(stderr, "lgtview: %s\n", reason);
    const LvMapWindow& w = *lvFindMapWindow("SK");
    LvMapProjection proj(w);
    const int width = proj.width() + LGT_LEGEND_WIDTH;
    const int height = proj.height() + kLvTitleRows;
    rdr::GdImageHandle img(gdImageCreateTrueColor(width, height));
    if (img == nullptr) {
        fnDumpDisp();
        return;
    }
    gdImageFilledRectangle(img.get(), 0, 0, width - 1, height - 1, 0xE8E8E8);
    std::string font = lgtFont("NanumGothic.ttf");
    auto centred = [&](double pt, int y, const char* text) {
        std::string t = text;
        int box[8];
        if (gdImageStringFT(nullptr, box, 0, font.data(), pt, 0.0, 0, 0, t.data()) == nullptr) {
            gdImageStringFT(img.get(), box, 0x000000, font.data(), pt, 0.0,
                            (width - (box[2] - box[0])) / 2, y, t.data());
        }
    };
    centred(16.0, height / 2, kErrorMessage);
    centred(11.0, height / 2 + 28, reason);
    send(img.get());
}

bool lvAnswerMap(const LvRequest& req, char* reason) {
    const LvMapWindow& win = windowOf(req);
    LvMapProjection proj(win);
    const LvWindow window = lvWindowOf(req);
    const int mapW = proj.width();
    const int mapH = proj.height();
    const int width = mapW + LGT_LEGEND_WIDTH;
    const int height = mapH + kLvTitleRows;
    rdr::GdImageHandle img(gdImageCreateTrueColor(width, height));
    if (img == nullptr) {
        std::snprintf(reason, kLvReasonSize, "the image could not be made");
        return false;
    }
    const std::string colourFile = lgtColourFile(req.product_name);
    TablePtr table(fnReadColorTable(colourFile.c_str()));
    int echo[CGI_MAX_ECHO_COLOR] = {};
    int disp[CGI_EN_DISP_COLOR_MAX] = {};
    if (table == nullptr || fnAllocColorTbl(img.get(), table.get(), echo, disp) != 0 ||
        table->m_iEchoColorCnt <= 0) {
        std::snprintf(reason, kLvReasonSize, "the colour table of the product is missing");
        return false;
    }
    gdImageFilledRectangle(img.get(), 0, 0, width - 1, height - 1, 0xFFFFFF);
    gdImageFilledRectangle(img.get(), 0, kLvTitleRows, mapW - 1, height - 1,
                           disp[CGI_EN_IN_BOUND_COLOR]);
    gdImageSetClip(img.get(), 0, kLvTitleRows, mapW - 1, height - 1);
    lvDrawMapLines(img.get(), proj, win, 0, kLvTitleRows, disp[CGI_EN_LINE_COLOR]);

    Painter painter{img.get(),
                    &proj,
                    &req,
                    table.get(),
                    echo,
                    wallMinutes(window.end),
                    window.classMinutes > 0 ? window.classMinutes : 1,
                    std::min(table->m_iEchoColorCnt, LGT_LEGEND_LEVELS)};
    const int read =
        req.layout == LvLayout::Nx1
            ? lgtVisitStrikesNX1(window.start, window.end,
                                 [&](const LGT_NX1_DATA& s) {
                                     painter.strike(s.m_szDateTime, s.m_fLon, s.m_fLat, s.m_fImpact,
                                                    s.m_cType);
                                     return true;
                                 })
            : lgtVisitStrikesVYQ(window.start, window.end, [&](const LGT_VYQ_DATA& s) {
                  painter.strike(s.m_szDateTime, s.m_fLon, s.m_fLat, s.m_fImpact, s.m_cType);
                  return true;
              });
    gdImageSetClip(img.get(), 0, 0, width - 1, height - 1);
    if (read < 0) {
        std::snprintf(reason, kLvReasonSize, "the time window is not valid");
        return false;
    }

    if (req.product == LvProduct::Area) {
        drawAreaTable(img.get(), req, window, mapH);
    }
    gdImageRectangle(img.get(), 0, kLvTitleRows, mapW - 1, height - 1, disp[CGI_EN_LINE_COLOR]);
    if (fnImgTopTextDisp(img.get(), req.product_name, window.start, window.end, window.titleMinutes,
                         mapW) != 0) {
        std::fprintf(stderr, "lgtview: the title could not be drawn\n");
    }
    gdImageFilledRectangle(img.get(), mapW, 0, width - 1, height - 1, kLegendGround);
    rdr::GdImageHandle legend(
        lgtLegendImage(req.product_name, mapH, window.end, window.classMinutes));
    if (legend != nullptr) {
        gdImageAlphaBlending(img.get(), 1);
        gdImageCopy(img.get(), legend.get(), mapW, kLvTitleRows, 0, 0, gdImageSX(legend.get()),
                    gdImageSY(legend.get()));
    }
    return send(img.get());
}

void lvAnswerLegend(const LvRequest& req) {
    const LvWindow window = lvWindowOf(req);
    int height = req.height;
    if (height == 0) {
        LvMapProjection proj(windowOf(req));
        height = proj.height();
    }
    fnCreateLevelColorImg(req.product_name, height, window.end, window.classMinutes);
}
