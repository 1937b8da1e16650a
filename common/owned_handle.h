// Owning handles for what both libraries and every program hand around with a release
// function of its own: malloc'd blocks, gd images and buffers, gzip streams, stdio files and
// file descriptors. The radar core adds its own structures in owned_handles.h.
//
//   rdr::MallocPtr<ST_UF_DATA> volume(fnReadUfFile(path, "DZ", 0.0f));
//   rdr::GdImageHandle image(gdImageCreateTrueColor(w, h));
#ifndef RDR_OWNED_HANDLE_H
#define RDR_OWNED_HANDLE_H

#include <gd.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

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

// Product grids, colour tables and any other block released with free().
template <class T = float>
using MallocPtr = std::unique_ptr<T, ReleaseWith<freeMemory>>;
using GridPtr = MallocPtr<float>;
using GdImageHandle = std::unique_ptr<gdImage, ReleaseWith<gdImageDestroy>>;
using GdBytesPtr = std::unique_ptr<void, ReleaseWith<gdFree>>;
using GzFilePtr = std::unique_ptr<gzFile_s, ReleaseWith<closeGz>>;
using FilePtr = std::unique_ptr<FILE, ReleaseWith<closeStdio>>;

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
