// Compiled-in vocabulary of the radar core: moment, product and composite-method names in
// each exchange format, how each moment is packed into a product grid, which colour file
// draws it, and the fixed layouts of the generated images.
//
// Every lookup searches one column with an exact, case-sensitive comparison and copies
// the whole matching row into the caller's structure. It returns 1 when a row was copied
// (or synthesised), 0 when an argument is null or the key is absent. The format-specific
// field lookups never fail on an unknown name: they answer a row that carries the name
// itself (truncated to 6 characters) in every column, so unknown moments pass through.
// fnGetFieldMemInfo answers the float default row for an unknown field.
#ifndef RDR_INFO_TABLES_H
#define RDR_INFO_TABLES_H

// Storage type of a moment in a product grid.
enum {
    RDR_EN_MEM_CHAR = 1,
    RDR_EN_MEM_SHORT = 2,
    RDR_EN_MEM_FLOAT = 3,
};

// Which column of a colour table the levels are compared against.
enum {
    RDR_EN_COLOR_RAIN = 0,
    RDR_EN_COLOR_UNIT = 1,
};

struct FIELD_INFO_TBL {
    char m_szFieldName[7];  // standard name (STD_FIELD, STD_PRODUCT_DATA)
    char m_szHdfQuantity[7];
    char m_szBufrQuantity[7];
    char m_szNcMoment[7];
    char m_szGribQuantity[7];
};

struct PRODUCT_INFO_TBL {
    char m_szStdProduct[7];
    char m_szHdfProduct[7];
    char m_szBufrProduct[7];
    char m_szGribProduct[7];
};

struct COMP_INFO_TBL {
    char m_szStdCompMethod[17];
    char m_szHdfCompMethod[17];
    char m_szBufrCompMethod[17];
    char m_szGribCompMethod[17];
};

// Packing of a moment: stored = (value + offset) * scale, value = stored / scale - offset.
struct FIELD_MEM_INFO_TBL {
    char m_szFieldName[9];
    int m_iMemType;  // RDR_EN_MEM_*
    float m_fScale;
    float m_fOffset;
    float m_fBadValue;  // stored code for no data
    float m_fOutBound;  // stored code for outside the radar's range
};

struct RDR_DISP_INFO_TBL {
    char m_szFieldName[9];
    char m_szColorFIle[256];
    char m_szDispFormat[10];  // printf format of legend labels
    int m_iColorKind;         // RDR_EN_COLOR_*
    float m_fMinValue;        // lowest value drawn
};

struct RDR_IMG_INFO_TBL {
    char m_szImgKind[16];
    int m_iTopHeight;
    int m_iRightWidth;
    int m_iBottomHeight;
    int m_iImgYdim;
    int m_iImgXdim;
    int m_iImgGridKm;  // 0: scale derived so that the data fits the width
    int m_iCompOrgX;
    int m_iCompOrgY;
    int m_iMinDiffType;
    int m_iEchoDIffType;
};

int fnGetStdFieldInfo(const char* szFieldName, FIELD_INFO_TBL* pBuf);
int fnGetHdfFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf);
int fnGetBufrFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf);
int fnGetNcFieldInfo(const char* szMoment, FIELD_INFO_TBL* pBuf);
int fnGetGribFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf);

int fnGetStdProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf);
int fnGetHdfProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf);
int fnGetBufrProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf);
int fnGetGribProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf);

int fnGetStdCompInfo(const char* szCompMethod, COMP_INFO_TBL* pBuf);

int fnGetFieldMemInfo(const char* szFieldName, FIELD_MEM_INFO_TBL* pBuf);
int fnGetColorFileInfo(const char* szFieldName, RDR_DISP_INFO_TBL* pBuf);
int fnGetImgSizeInfo(const char* szImgKind, RDR_IMG_INFO_TBL* pBuf);

#endif
