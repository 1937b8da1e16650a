// Stateless helpers shared by the whole radar core: byte order, angles, Z-R relations,
// beam geometry, great-circle distances, calendar arithmetic, an in-place splitter and
// row-pointer matrices. The radar core uses pi = 3.141592 throughout.
#ifndef RDR_CORE_UTILITIES_H
#define RDR_CORE_UTILITIES_H

#include <ctime>
#include <string>

constexpr double RDR_PI = 3.141592;
constexpr double RDR_RAD_TO_DEG = 57.29579143313326;    // 180 / 3.141592
constexpr double RDR_DEG_TO_RAD = 0.01745328888888889;  // 3.141592 / 180

// Seconds added to every UTC time stored by the system (see fnMakeTime).
constexpr long RDR_KST_OFFSET_SEC = 32400;

// Byte order
int fnIsLittleEndian();
void fnSwap2Byte(void* word);
void fnSwap4Byte(void* word);
void fnSwap2Array(short int* pBuf, int len);

// Angles and coordinates
float fnConvertDms2Deg(int Deg, int Min, float Sec);
double fnDegToRad(double dDeg);
double fnRadToDeg(double dRad);
float fnDiffDegree(float fAlpha, float fBeta);
float fnMinusDegree(float fAlpha, float fBeta);

// Z = a R^b
double fnRainToDbzF(double dRain, float fZr_a, float fZr_b);
double fnDbzToRainF(double dDbz, float fZr_a, float fZr_b);
double fnZeToDbzF(double dZe);
double fnDbzToZeF(double dDbz);

// Beam geometry and distances
float fnGetElevation(float fSlantRangeM, float fHeightM);
float fnGetSlantRange(float fPointX, float fPointY, float fHeightM, float fGridM);
double fnDistSphericalSurface(float fLon1, float fLat1, float fLon2, float fLat2);
double fnCalcDistKmLonLat(double dLon1, double dLat1, double dLon2, double dLat2);
float fnGetMaxRangeToData(float** ppData, int iYdim, int iXdim, float fGridKm);

// Calendar
int fnCheckLeapYear(int iYear);
int fnGetLastDayOfYM(int iYear, int iMon);
time_t fnMakeTime(int bUTC, short year, short mon, short day, short hour, short min, short sec);
// A stored time in local time through strftime. Stored times carry the system's nine-hour
// offset, so local time reads as KST the way titles and headers show it.
std::string formatStoredTime(time_t t, const char* szFormat);
struct tm fnIncMin(struct tm tm_ptr, int iAddMin);
struct tm fnIncDay(struct tm tm_ptr, int iAddDay);
struct tm fnIncMonth(struct tm tm_ptr, int iAddMonth);
struct tm fnIncYear(struct tm tm_ptr, int iAddYear);

// Strings and matrices. Matrices are arrays of separately allocated, zeroed rows
// (malloc/calloc), released with fnFreeMatrix2D.
int fnSplit(char* szStr, char** pSp, int iSpCnt, char var);
int** fnMakeMatrix2D_I(int iYdim, int iXdim);
unsigned char** fnMakeMatrix2D_UC(int iYdim, int iXdim);
char** fnMakeMatrix2D_C(int iYdim, int iXdim);
short int** fnMakeMatrix2D_S(int iYdim, int iXdim);
float** fnMakeMatrix2D_F(int iYdim, int iXdim);
void fnFreeMatrix2D(void** ppMatrix, int iCnt);

// Prints one "%s : %s\n" line (function, reason) on standard error: the radar core's
// single failure-report format.
void rdrError(const char* szFunction, const char* szMessage);

#endif
