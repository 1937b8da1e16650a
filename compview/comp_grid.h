// The composite grid of a request: the shape of each kind's grid and its reading into a
// matrix (row 0 north) with the library's readers.
//
// | kind    | columns x rows | cell | content                                          |
// | comp240 | 960 x 1200     | 1 km | dBZ (ETOP km, VIL kg/m2) as signed bytes          |
// | comp480 | 526 x 576      | 3 km | rain rate, float, with an in-bound mask           |
// | kcj     | 751 x 1101     | 3 km | rain rate x 100, big-endian int16                |
// | vsrf    | 960 x 1200     | 1 km | rain rate x 100, big-endian int16, one per hour  |
// | maple   | 960 x 1200     | 1 km | 1024 x 1024 fields of rain rate, one per 10 min  |
//
// Every grid starts at the composite's left-upper corner (121.02835 E, 41.590557 N), its
// cells squares of the cell size on the composite's own Lambert grid (sphere 6371.00877 km,
// standard parallels 30 and 60 N), on which the reference point 126 E 38 N lies 400 km east
// and 400 km south of that corner. The 3 km grids reach beyond the 1 km grid's east and
// south edges. The reference cell below counts from the grid's lower-left cell, as the
// point-value service takes it.
#ifndef COMPVIEW_COMP_GRID_H
#define COMPVIEW_COMP_GRID_H

#include <memory>

#include "comp_request.h"

struct CvGridShape {
    int columns;
    int rows;       // rows of composite data
    int read_rows;  // rows of the matrix the reader fills (the byte reader needs 10 more)
    float cell_km;
    int ref_column, ref_row;  // cell of the reference point, from the lower-left cell
};

const CvGridShape& cvGridShape(CvKind kind);

// A matrix of the display library, released with fnFreeMatrixFloat.
class CvGrid {
  public:
    CvGrid() = default;
    CvGrid(float** rows, int row_count) : rows_(rows), row_count_(row_count) {}
    CvGrid(CvGrid&& other) noexcept;
    CvGrid& operator=(CvGrid&& other) noexcept;
    CvGrid(const CvGrid&) = delete;
    CvGrid& operator=(const CvGrid&) = delete;
    ~CvGrid();

    float** get() const { return rows_; }
    int rows() const { return row_count_; }
    explicit operator bool() const { return rows_ != nullptr; }

  private:
    float** rows_ = nullptr;
    int row_count_ = 0;
};

// Reads the request's grid from path (forecasts: the grid of lead_min minutes). Empty when
// the file cannot be read or does not hold that grid.
CvGrid cvReadGrid(const CvRequest& req, const char* path, int lead_min);

// Divides every data value (not the codes -9998 and -9999) by 100: the forecast grids hold
// rain rate x 100.
void cvScaleHundredths(float** grid, int rows, int columns);

#endif
