#include "colour_tables.h"

#include "colour_table_shared.h"

namespace {

// The radar core has no lower-bound search; unknown modes draw nothing.
constexpr colour_table_shared::LevelRules kCoreLevelRules{false, -1};

}  // namespace

RDR_COLOR_TBL* fnReadColorTable(const char* szFile) {
    return colour_table_shared::readColourFile<RDR_COLOR_TBL>(szFile);
}

int fnAllocColorTbl(gdImagePtr pImg, RDR_COLOR_TBL* pColorTbl, int* echoColorBar,
                    int* dispColorBar) {
    return colour_table_shared::allocateColours(pImg, pColorTbl, echoColorBar, dispColorBar) ? 1
                                                                                             : 0;
}

int fnGetColorLevel(float fData, RDR_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue,
                    int iMinDiffType, int iDiffType) {
    static_assert(RDR_EN_COLOR_RAIN == colour_table_shared::kRainColumn &&
                  RDR_EN_COLOR_UNIT == colour_table_shared::kUnitColumn);
    return colour_table_shared::colourLevel(fData, pColorTbl, iColorKind, fMinValue, iMinDiffType,
                                            iDiffType, kCoreLevelRules);
}
