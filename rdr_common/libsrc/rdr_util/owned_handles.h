// Owning handles for everything the radar core hands out with a release function of its
// own: volumes, products, reader structures, malloc'd grids, row matrices, gd images,
// gzip streams, stdio files and file descriptors. One spelling for all of them, so no
// caller writes its own deleter.
//
//   rdr::StdRadarPtr volume(fnLoadStdRadarFile(path));
//   rdr::GridPtr grid(fnCreateProduct(volume.get(), tables.get(), args));
//   rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(volume.get()), nSweeps);
#ifndef RDR_OWNED_HANDLES_H
#define RDR_OWNED_HANDLES_H

#include <gd.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "core_utilities.h"

struct STD_RADAR;
struct STD_PRODUCT;
struct UF_RADAR;
struct NC_RADAR;
void fnFreeStdRadar(STD_RADAR* pStd);
void fnFreeStdProduct(STD_PRODUCT* pStdProduct);
void fnFreeUfRadar(UF_RADAR* pUf);
void fnFreeNcRadar(NC_RADAR* pNc);

namespace rdr {

// Calls Release on a non-null pointer; the release function's result, if any, is dropped.
template <auto Release>
struct ReleaseWith {
    template <class T>
    void operator()(T* p) const {
        if (p != nullptr) {
            Release(p);
        }
    }
};

inline void freeMemory(void* p) {
    std::free(p);
}
inline void closeStdio(FILE* f) {
    std::fclose(f);
}
inline void closeGz(gzFile f) {
    gzclose(f);
}

using StdRadarPtr = std::unique_ptr<STD_RADAR, ReleaseWith<fnFreeStdRadar>>;
using StdProductPtr = std::unique_ptr<STD_PRODUCT, ReleaseWith<fnFreeStdProduct>>;
using UfRadarPtr = std::unique_ptr<UF_RADAR, ReleaseWith<fnFreeUfRadar>>;
using NcRadarPtr = std::unique_ptr<NC_RADAR, ReleaseWith<fnFreeNcRadar>>;
// Product grids, colour tables and any other block released with free().
template <class T = float>
using MallocPtr = std::unique_ptr<T, ReleaseWith<freeMemory>>;
using GridPtr = MallocPtr<float>;
using GdImageHandle = std::unique_ptr<gdImage, ReleaseWith<gdImageDestroy>>;
using GdBytesPtr = std::unique_ptr<void, ReleaseWith<gdFree>>;
using GzFilePtr = std::unique_ptr<gzFile_s, ReleaseWith<closeGz>>;
using FilePtr = std::unique_ptr<FILE, ReleaseWith<closeStdio>>;

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

// A POSIX file descriptor, closed once.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    // Gives up ownership (for example to gzdopen or fdopen).
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace rdr

#endif
