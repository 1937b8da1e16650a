#include "display_colours.h"

#include "colour_table_shared.h"

namespace {

constexpr colour_table_shared::LevelRules kDisplayLevelRules{true, 0};

}  // namespace

CGI_COLOR_TBL* fnReadColorTable(const char* szFile) {
    return colour_table_shared::readColourFile<CGI_COLOR_TBL>(szFile);
}

int fnAllocColorTbl(gdImagePtr pImg, CGI_COLOR_TBL* pColorTbl, int* echoColorBar,
                    int* dispColorBar) {
    return colour_table_shared::allocateColours(pImg, pColorTbl, echoColorBar, dispColorBar) ? 0
                                                                                             : -1;
}

int fnGetColorLevel(float fData, CGI_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue,
                    int nMinDiffType, int nDiffType) {
    static_assert(CGI_EN_COLOR_RAIN == colour_table_shared::kRainColumn &&
                  CGI_EN_COLOR_UNIT == colour_table_shared::kUnitColumn);
    return colour_table_shared::colourLevel(fData, pColorTbl, iColorKind, fMinValue, nMinDiffType,
                                            nDiffType, kDisplayLevelRules);
}
