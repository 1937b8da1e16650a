// Title line and forecast times of composite images.
#include <cstdio>
#include <string>

#include "composite_extras.h"
#include "internal/composite_text.h"

namespace {

using comp_text::sameName;

constexpr double kTitlePt = 15.0;
constexpr int kTitleBaseline = 20;
constexpr double kTimesPt = 12.0;

std::string text(const char* s) {
    return s != nullptr ? s : "";
}

std::string qualityName(const char* szQ_type) {
    if (sameName(szQ_type, "NOQC")) {
        return "NoQC";
    }
    if (sameName(szQ_type, "FUZZYQC")) {
        return "Fuzzy";
    }
    if (sameName(szQ_type, "ORPGQC")) {
        return "ORPG";
    }
    if (sameName(szQ_type, "CHAFFQC")) {
        return "Chaff";
    }
    return text(szQ_type);
}

std::string titleText(const char* szP_type, const char* szQ_type, const char* szUnit,
                      const char* szDate, int nFlag, const char* szForecastDate) {
    const std::string time = comp_text::displayDate(szDate);
    if (time.empty()) {
        return {};
    }
    const std::string unit = text(szUnit);
    const std::string product = text(szP_type);
    switch (nFlag) {
        case COMP_TITLE_RAIN:
            return "PPI0(" + unit + ") " + time + "(KST) Rain Rate";
        case COMP_TITLE_PRODUCT: {
            const std::string head = product + " " + qualityName(szQ_type);
            if (sameName(szP_type, "ETOP")) {
                return head + "(CZ) " + time + "(KST)";
            }
            if (sameName(szP_type, "VIL")) {
                return head + "(RN) " + time + "(KST)";
            }
            return head + "(" + unit + ") " + time + "(KST) Rain Rate";
        }
        case COMP_TITLE_480:
            return "PPI0(" + unit + ") 480km Rainrate " + time + "(KST)";
        case COMP_TITLE_FUZZY:
            return "PPI0 Fuzzy(" + unit + ") " + time + "(KST) Rain Rate";
        case COMP_TITLE_NOQC:
            return "PPI0 NoQC(" + unit + ") " + time + "(KST) Rain Rate";
        case COMP_TITLE_FORECAST: {
            const std::string forecast = comp_text::displayDate(szForecastDate);
            if (forecast.empty()) {
                return {};
            }
            const std::string resolution = sameName(szP_type, "VSRF") ? " 1km" : "";
            return product + "(" + unit + ")" + resolution + " " + time +
                   "(KST) Rain Rate  Forecast Time = " + forecast;
        }
        case COMP_TITLE_ORPG:
            return "PPI0 ORPG(" + unit + ") " + time + "(KST) Rain Rate";
        default:
            return {};
    }
}

}  // namespace

bool compTitleText(const char* szP_type, const char* szQ_type, const char* szUnit,
                   const char* szDate, int nFlag, const char* szForecastDate, char* szOut,
                   std::size_t nOutLen) {
    if (szOut == nullptr || nOutLen == 0) {
        return false;
    }
    const std::string title = titleText(szP_type, szQ_type, szUnit, szDate, nFlag, szForecastDate);
    std::snprintf(szOut, nOutLen, "%s", title.c_str());
    return !title.empty() && title.size() < nOutLen;
}

int fnImgTopTextDisp(gdImagePtr pImg, const char* szP_type, const char* szQ_type,
                     const char* szUnit, const char* szDate, int nImgXdim, int nFlag,
                     const char* szForecastDate) {
    if (pImg == nullptr) {
        return -1;
    }
    const std::string title = titleText(szP_type, szQ_type, szUnit, szDate, nFlag, szForecastDate);
    if (title.empty()) {
        return -1;
    }
    const int colour = nFlag == COMP_TITLE_FORECAST ? gdImageColorResolve(pImg, 0, 50, 255)
                                                    : gdImageColorResolve(pImg, 0, 0, 0);
    return comp_text::drawCentred(pImg, comp_text::fontPath("timesbd.ttf"), kTitlePt, colour,
                                  nImgXdim, kTitleBaseline, title)
               ? 0
               : -1;
}

int fnVsrfMapleContentDisp(int nImgXdim, int nImgYdim, gdImagePtr pImg, const char* szDate,
                           const char* szForecastDate) {
    if (pImg == nullptr) {
        return -1;
    }
    const std::string valid = comp_text::displayDate(szDate);
    const std::string forecast = comp_text::displayDate(szForecastDate);
    if (valid.empty() || forecast.empty()) {
        return -1;
    }
    const std::string font = comp_text::fontPath("times.ttf");
    const std::string first = "Forecast Time = " + forecast;
    int brect[8];
    if (!comp_text::measure(font, kTimesPt, first, brect)) {
        return -1;
    }
    // Both lines start where the first is centred, so that the two "=" stay close.
    const int x = (nImgXdim + brect[0] - brect[2]) / 2;
    const int black = gdImageColorResolve(pImg, 0, 0, 0);
    const bool ok =
        comp_text::draw(pImg, font, kTimesPt, black, x, nImgYdim - 45, first) &&
        comp_text::draw(pImg, font, kTimesPt, black, x, nImgYdim - 25, "Valid Time = " + valid);
    return ok ? 0 : -1;
}
