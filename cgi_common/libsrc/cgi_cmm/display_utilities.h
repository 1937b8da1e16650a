// Small shared functions of the display library: calendar steps on broken-down local time,
// leap years and month lengths, byte swapping, reflectivity / rain-rate conversions of
// single values and whole grids (Z = a R^b), row-pointer matrices and axis arrays, and the
// empty transparent PNG answer of a CGI program.
#ifndef CGI_DISPLAY_UTILITIES_H
#define CGI_DISPLAY_UTILITIES_H

#include <gd.h>

#include <cstdio>
#include <ctime>

// 1 for a leap year of the Gregorian calendar (nYear as written, e.g. 2012), else 0.
int fnChkLeapYear(int nYear);

// Days in month nMon (1 to 12) of nYear; 0 for a month outside 1 to 12 or a year <= 0.
int fnGetLastDay(int nYear, int nMon);

// Calendar steps on a local time (the process time zone). Minutes are elapsed time; days,
// months and years are calendar steps that keep the time of day, also across a change of
// daylight-saving time. A month or year step from a day the target month lacks (31 January
// plus one month, 29 February plus one year) lands on that month's last day. A time that
// cannot be represented is returned unchanged.
struct tm fnGetIncMin(struct tm tm_ptr, int nAddMin);
struct tm fnGetIncDay(struct tm tm_ptr, int nAddDay);
struct tm fnGetIncMonth(struct tm tm_ptr, int nAddMonth);
struct tm fnGetIncYear(struct tm tm_ptr, int nAddYear);

// Exchanges the two bytes of the 16-bit word at pWord (ignored when null).
void fnSwap2bytes(void* pWord);

// Rain rate to reflectivity: 10 log10(a) + 10 b log10(R) dBZ.
float fnR_to_dBZ_f(double fRain, float fZr_a, float fZr_b);
// Reflectivity to rain rate: (10^(dBZ/10) / a)^(1/b).
float fnDbz_To_R_f(double dDbz, float fZr_a, float fZr_b);

// In-place grid conversions of data[nYDim][nXDim]: cells equal to fOutBound_f or
// fBadValue_f stay; other cells at or below 0 become fBadValue_f; positive cells are
// converted with the formulas above. 0, or -1 for a null grid or negative size.
int fnRainrateToDbz(float** data, int nYDim, int nXDim, float fOutBound_f, float fBadValue_f,
                    float fZr_a, float fZr_b);
int fnDbzToRainrate(float** data, int nYDim, int nXDim, float fOutBound_f, float fBadValue_f,
                    float fZr_a, float fZr_b);

// Zero-filled matrices of nYDim rows of nXDim cells, indexed [row][column]; null for a
// negative size or when memory runs out. 0 rows is a valid empty matrix.
float** fnGetMatrixFloat(int nYDim, int nXDim);
int** fnGetMatrixInt(int nYDim, int nXDim);

// Releases a matrix of the functions above (a null matrix is ignored). nRows is the row
// count it was made with; the allocator marks the end of the row array, so a count that
// does not match (a column count passed by mistake) neither leaks rows nor reads past it.
void fnFreeMatrixFloat(float** ppMatrix, int nRows);
void fnFreeMatrixInt(int** ppMatrix, int nRows);

// A zero-filled array of nDim doubles (nDim 0 gives a valid empty array), null for a
// negative size; release it with fnFreeAxisDataDouble.
double* fnGetAxisDataDouble(int nDim);
void fnFreeAxisDataDouble(double* pAxis);
void fnFreeAxisDataFloat(float* pAxis);

// Writes "Content-type: image/png\r\n\r\n" and a 1000 x 1000 fully transparent PNG to
// standard output: the answer of a request that has nothing to show.
void fnDumpDisp();

// Sends pImg as a CGI answer on pOut: "Content-type: image/png\r\n\r\n" and the PNG,
// encoded whole before anything is written. When the image is null or cannot be encoded the
// answer is "Status: 500 Internal Server Error" with a short text body instead, so that a
// request always gets an answer. 0 when the PNG was sent, -1 otherwise (also when pOut
// failed).
int cgiWritePngAnswer(gdImagePtr pImg, FILE* pOut);

#endif
