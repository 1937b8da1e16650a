// Readers of the multi-radar composite grid files. Every file is a gzip stream (a plain file
// reads as well) of rows without any header; the reader knows the layout from its kind and
// the caller passes the grid size. Rows are stored from the southern edge to the northern
// one, so each reader puts the file's first row in the last matrix row and goes upwards:
// matrix row 0 is the northern edge, as image grids are drawn.
//
// Every reader fills its whole matrix with its default code first (-9998, the MAPLE reader
// -9999) and returns a matrix of fnGetMatrixFloat(nDataYdim, nDataXdim) that the caller
// releases with fnFreeMatrixFloat(matrix, nDataYdim). Value codes: -9998 outside the
// composite or no data, -9999 missing value; anything else is data.
//
// All readers return null for a file that cannot be opened, a size that is not positive,
// a matrix that cannot be made, and a file that ends before the first complete row: a
// request whose grid is not there then gets the no-data answer instead of an empty grid.
// A file that ends part-way keeps the rows read (a partial row is never used) and the
// default code in the others, except where a reader says otherwise.
#ifndef CGI_COMP_COMPOSITE_INPUT_H
#define CGI_COMP_COMPOSITE_INPUT_H

// 1-byte composite (240 km and 3-D kinds: the first grid of the file), rows of nDataXdim
// signed bytes: -128 -> -9998, -127 -> -9999, otherwise the byte value. The file's first
// row lands in matrix row nDataYdim - 11 and the reader goes up to row 0, so the last 10
// matrix rows always keep -9998 and a file of R rows is read whole with nDataYdim = R + 10
// (then matrix row i is the file's row R - 1 - i).
float** fnGetCompData(const char* szF_name, int nDataXdim, int nDataYdim);

// Float composite (480 km kind): nDataYdim rows of nDataXdim float32 (host byte order),
// then nDataYdim rows of nDataXdim in-bound bytes; every cell whose in-bound byte is 0
// becomes -9998 whatever its value. A row whose in-bound bytes were not read keeps -9998.
// When szIn_bound is not null it receives the in-bound bytes, nDataXdim per row in matrix
// order (row 0 north), 0 where the file held none.
float** fnGetComp480Data(const char* szF_name, int nDataXdim, int nDataYdim,
                         unsigned char* szIn_bound);

// 2-byte composite (KCJ kind), nDataYdim rows of big-endian int16: -32768 -> -9998,
// -32767 -> -9999, otherwise value / 100 for nFileFlag 2, the value for nFileFlag 1; any
// other flag stores only the two codes. Null when a row cannot be read whole.
float** fnGetCompCj3Data(const char* szF_name, int nDataXdim, int nDataYdim, int nFileFlag);

// Very-short-range forecast: grids of nDataYdim rows of big-endian int16, one per hour of
// lead time; the grid of lead nFcstTime minutes follows nFcstTime / 60 whole grids.
// -32768 -> -9998, -32767 -> -9999, otherwise the value. Null for a negative lead and for
// a lead whose grid the file does not hold.
float** fnGetCompVsrfData(const char* szF_name, int nDataXdim, int nDataYdim, int nFcstTime);

// MAPLE forecast: a 104-byte header, then fields of 1024 x 1024 little-endian float32, one
// per 10 minutes of lead. Field k = nFcstTime / 10 - 1 for leads of 10 minutes and more,
// field 0 for leads 1 to 9, field 36 for leads of 0 and less. Values below 0 -> -9999,
// below 0.1 -> -9998, otherwise value x 100. Field row m (1 to 1023) lands in matrix row
// m + nDataYdim - 1052 from field column 26 on (a matrix wider than the rest of the field
// row continues into the next field row); field row 0 and matrix rows above 0 that fall
// outside are not used, so the whole field needs nDataYdim >= 1051. Null when the field is
// not complete in the file.
float** fnGetCompMapleData(const char* szF_name, int nDataXdim, int nDataYdim, int nFcstTime);

#endif
