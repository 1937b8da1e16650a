// Owning handles for everything the radar core hands out with a release function of its
// own: volumes, products, reader structures and row matrices, besides the handles both
// libraries share (owned_handle.h: malloc'd grids, gd images, streams, descriptors). One
// spelling for all of them, so no caller writes its own deleter.
//
//   rdr::StdRadarPtr volume(fnLoadStdRadarFile(path));
//   rdr::GridPtr grid(fnCreateProduct(volume.get(), tables.get(), args));
//   rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(volume.get()), nSweeps);
#ifndef RDR_OWNED_HANDLES_H
#define RDR_OWNED_HANDLES_H

#include <memory>
#include <utility>

#include "core_utilities.h"
#include "owned_handle.h"

struct STD_RADAR;
struct STD_PRODUCT;
struct UF_RADAR;
struct NC_RADAR;
void fnFreeStdRadar(STD_RADAR* pStd);
void fnFreeStdProduct(STD_PRODUCT* pStdProduct);
void fnFreeUfRadar(UF_RADAR* pUf);
void fnFreeNcRadar(NC_RADAR* pNc);

namespace rdr {

using StdRadarPtr = std::unique_ptr<STD_RADAR, ReleaseWith<fnFreeStdRadar>>;
using StdProductPtr = std::unique_ptr<STD_PRODUCT, ReleaseWith<fnFreeStdProduct>>;
using UfRadarPtr = std::unique_ptr<UF_RADAR, ReleaseWith<fnFreeUfRadar>>;
using NcRadarPtr = std::unique_ptr<NC_RADAR, ReleaseWith<fnFreeNcRadar>>;

// A matrix of separately allocated rows (fnMakeMatrix2D_* or fnMakeAllHashTable),
// released row by row with fnFreeMatrix2D.
template <class T>
class MatrixPtr {
  public:
    MatrixPtr() = default;
    MatrixPtr(T** rows, int nRows) : rows_(rows), nRows_(nRows) {}
    MatrixPtr(MatrixPtr&& other) noexcept
        : rows_(std::exchange(other.rows_, nullptr)), nRows_(other.nRows_) {}
    MatrixPtr& operator=(MatrixPtr&& other) noexcept {
        if (this != &other) {
            reset();
            rows_ = std::exchange(other.rows_, nullptr);
            nRows_ = other.nRows_;
        }
        return *this;
    }
    ~MatrixPtr() { reset(); }
    void reset() {
        if (rows_ != nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(rows_), nRows_);
            rows_ = nullptr;
        }
    }
    T** get() const { return rows_; }
    T* operator[](int row) const { return rows_[row]; }
    explicit operator bool() const { return rows_ != nullptr; }

  private:
    T** rows_ = nullptr;
    int nRows_ = 0;
};

}  // namespace rdr

#endif
