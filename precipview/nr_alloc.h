// Vectors and matrices with arbitrary index ranges. A vector nl..nh is one block addressed
// from nl; a matrix is an array of row pointers into one block of rows (released together by
// the free function, which takes the same ranges). Allocation failure ends the process with
// status 1 after a three-line message on standard error.
#ifndef PRECIPVIEW_NR_ALLOC_H
#define PRECIPVIEW_NR_ALLOC_H

#include <cstdint>

unsigned char* cvector(long nl, long nh);
int16_t* svector(long nl, long nh);
float** matrix(long nrl, long nrh, long ncl, long nch);
int16_t** smatrix(long nrl, long nrh, long ncl, long nch);
unsigned char** cmatrix(long nrl, long nrh, long ncl, long nch);

void free_cvector(unsigned char* v, long nl, long nh);
void free_svector(int16_t* v, long nl, long nh);
void free_matrix(float** m, long nrl, long nrh, long ncl, long nch);
void free_smatrix(int16_t** m, long nrl, long nrh, long ncl, long nch);
void free_cmatrix(unsigned char** m, long nrl, long nrh, long ncl, long nch);

#endif
