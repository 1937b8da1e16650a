// Colour tables of the display library: a colour file (".col") maps display values to
// palette colours. The file holds a line count, two legend titles and colour lines
// "num r g b rain unit"; the rain value either marks one of five fixed display colours or,
// for any other value, appends an echo colour whose threshold is that value (thresholds
// ascend in file order). The file format and parsing are shared with the radar core's
// tables; this build holds up to 300 echo colours and adds a lower-bound search.
#ifndef CGI_DISPLAY_COLOURS_H
#define CGI_DISPLAY_COLOURS_H

#include <gd.h>

// Threshold column a value is compared against.
enum {
    CGI_EN_COLOR_RAIN = 0,
    CGI_EN_COLOR_UNIT = 1,
};

// Indexes of the fixed display colours.
enum {
    CGI_EN_LINE_COLOR = 0,       // map lines, rings, frames
    CGI_EN_FONT_COLOR = 1,       // text
    CGI_EN_IN_BOUND_COLOR = 2,   // inside the coverage, no echo
    CGI_EN_OUT_BOUND_COLOR = 3,  // outside the coverage
    CGI_EN_AWS_COLOR = 4,        // station marks
    CGI_EN_DISP_COLOR_MAX = 5,
};

// Echo colours a table can hold; further echo lines of a file are read and dropped.
constexpr int CGI_MAX_ECHO_COLOR = 300;

struct CGI_COLOR_INFO {
    int m_iNum;  // first number of the colour line, as read
    int m_iR;
    int m_iG;
    int m_iB;
    float m_fRain;  // threshold of the rain column
    float m_fUnit;  // threshold of the unit column
};

// One heap block from fnReadColorTable; the caller releases it with free().
struct CGI_COLOR_TBL {
    char m_szRainTitle[20];
    char m_szUnitTitle[20];
    int m_iEchoColorCnt;
    CGI_COLOR_INFO m_dispColorTbl[CGI_EN_DISP_COLOR_MAX];
    CGI_COLOR_INFO m_echoColorTbl[CGI_MAX_ECHO_COLOR];
};

// Reads a colour file; null when the path is null, the file is missing or malformed.
CGI_COLOR_TBL* fnReadColorTable(const char* szFile);

// Allocates the echo colours into echoColorBar[0 .. m_iEchoColorCnt-1] (an array of
// CGI_MAX_ECHO_COLOR) and the display colours into dispColorBar[0 .. 4]. When a palette
// image is full, the closest existing colour is used. 0 on success, -1 for a null image or
// table.
int fnAllocColorTbl(gdImagePtr pImg, CGI_COLOR_TBL* pColorTbl, int* echoColorBar,
                    int* dispColorBar);

// Echo colour index of a value, or -1 when the cell is not drawn. iColorKind selects the
// column. nMinDiffType: 0 rejects values below fMinValue, 1 rejects values at or below it,
// others skip the test. nDiffType with thresholds t(i): 0 colour i covers [t(i-1), t(i)),
// 1 covers (t(i-1), t(i)] (values above the scale take the top colour in both), 2 covers
// (t(i), t(i+1)] with values at or below t(0) taking colour 0; any other mode gives 0.
// An empty table, an unknown column or a NaN value gives -1.
int fnGetColorLevel(float fData, CGI_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue,
                    int nMinDiffType, int nDiffType);

#endif
