// Colour tables: a colour file (".col") maps product values to palette colours. The file
// holds a line count, two legend titles and colour lines "num r g b rain unit"; the rain
// value either marks one of five fixed display colours or, for any other value, appends an
// echo colour whose threshold is that value (echo thresholds ascend in file order).
#ifndef RDR_COLOUR_TABLES_H
#define RDR_COLOUR_TABLES_H

#include <gd.h>

#include "info_tables.h"  // RDR_EN_COLOR_RAIN, RDR_EN_COLOR_UNIT

// Indexes of the fixed display colours.
enum {
    RDR_EN_LINE_COLOR = 0,       // map lines, rings, frames
    RDR_EN_FONT_COLOR = 1,       // text
    RDR_EN_IN_BOUND_COLOR = 2,   // inside the coverage, no echo
    RDR_EN_OUT_BOUND_COLOR = 3,  // outside the coverage
    RDR_EN_AWS_COLOR = 4,        // station marks
    RDR_EN_DISP_COLOR_MAX = 5,
};

// Echo colours a table can hold; further echo lines of a file are read and dropped.
constexpr int RDR_MAX_ECHO_COLOR = 100;

struct RDR_COLOR_INFO {
    int m_iNum;  // first number of the colour line, as read
    int m_iR;
    int m_iG;
    int m_iB;
    float m_fRain;  // threshold of the rain column
    float m_fUnit;  // threshold of the unit column
};

// One heap block from fnReadColorTable; the caller releases it with free().
struct RDR_COLOR_TBL {
    char m_szRainTitle[20];
    char m_szUnitTitle[20];
    int m_iEchoColorCnt;
    RDR_COLOR_INFO m_dispColorTbl[RDR_EN_DISP_COLOR_MAX];
    RDR_COLOR_INFO m_echoColorTbl[RDR_MAX_ECHO_COLOR];
};

// Reads a colour file; null when the path is null, the file is missing or malformed.
RDR_COLOR_TBL* fnReadColorTable(const char* szFile);

// Allocates the echo colours into echoColorBar[0 .. m_iEchoColorCnt-1] and the display
// colours into dispColorBar[0 .. 4]. When a palette image is full, the closest existing
// colour is used. 1 on success, 0 for a null image or table.
int fnAllocColorTbl(gdImagePtr pImg, RDR_COLOR_TBL* pColorTbl, int* echoColorBar,
                    int* dispColorBar);

// Echo colour index of a value, or -1 when the cell is not drawn. iColorKind selects the
// column (RDR_EN_COLOR_RAIN / RDR_EN_COLOR_UNIT). iMinDiffType: 0 rejects values below
// fMinValue, 1 rejects values at or below it, others skip the test. iDiffType: 0 colour i
// covers [t(i-1), t(i)), 1 covers (t(i-1), t(i)]; values above the scale take the top
// colour. Any other mode, an empty table or a NaN value gives -1.
int fnGetColorLevel(float fData, RDR_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue,
                    int iMinDiffType, int iDiffType);

#endif
