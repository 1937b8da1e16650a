#include "nr_alloc.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void nrerror(const char* text) {
    std::fprintf(stderr, "Numerical Recipes run-time error...\n");
    std::fprintf(stderr, "%s\n", text);
    std::fprintf(stderr, "...now exiting to system...\n");
    std::exit(1);
}

// The block is addressed from nl: element nl sits at the start. Offsetting a pointer before
// its block is what lets callers index from nl; the program itself only uses nl = 0.
template <typename T>
T* alloc_vector(long nl, long nh, const char* what) {
    if (nh < nl) {
        nrerror(what);
    }
    T* v = static_cast<T*>(std::malloc(static_cast<size_t>(nh - nl + 1) * sizeof(T)));
    if (v == nullptr) {
        nrerror(what);
    }
    return v - nl;
}

template <typename T>
void release_vector(T* v, long nl) {
    if (v != nullptr) {
        std::free(v + nl);
    }
}

// The rows of a matrix lie in one block, so that a grid of several megabytes is one mapping
// the kernel can back with huge pages: a request then faults in a handful of pages instead
// of thousands. Row pointers keep the documented row-by-row addressing.
constexpr size_t kHugePage = 2u << 20;
constexpr size_t kMappedFrom = 1u << 20;  // smaller blocks come from malloc

void* alloc_rows_block(size_t bytes) {
    if (bytes < kMappedFrom) {
        return std::malloc(bytes);
    }
    size_t len = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        return nullptr;
    }
    madvise(p, len, MADV_HUGEPAGE);
    return p;
}

void free_rows_block(void* p, size_t bytes) {
    if (p == nullptr) {
        return;
    }
    if (bytes < kMappedFrom) {
        std::free(p);
        return;
    }
    munmap(p, (bytes + kHugePage - 1) / kHugePage * kHugePage);
}

template <typename T>
T** alloc_matrix(long nrl, long nrh, long ncl, long nch, const char* what1, const char* what2) {
    T** m = alloc_vector<T*>(nrl, nrh, what1);
    if (nch < ncl) {
        nrerror(what2);
    }
    const size_t cols = static_cast<size_t>(nch - ncl + 1);
    const size_t rows = static_cast<size_t>(nrh - nrl + 1);
    T* block = static_cast<T*>(alloc_rows_block(rows * cols * sizeof(T)));
    if (block == nullptr) {
        nrerror(what2);
    }
    for (long i = nrl; i <= nrh; i++) {
        m[i] = block + static_cast<size_t>(i - nrl) * cols - ncl;
    }
    return m;
}

template <typename T>
void release_matrix(T** m, long nrl, long nrh, long ncl, long nch) {
    if (m == nullptr) {
        return;
    }
    const size_t bytes =
        static_cast<size_t>(nrh - nrl + 1) * static_cast<size_t>(nch - ncl + 1) * sizeof(T);
    free_rows_block(m[nrl] + ncl, bytes);
    release_vector(m, nrl);
}

}  // namespace

unsigned char* cvector(long nl, long nh) {
    return alloc_vector<unsigned char>(nl, nh, "allocation failure in cvector()");
}

int16_t* svector(long nl, long nh) {
    return alloc_vector<int16_t>(nl, nh, "allocation failure in svector()");
}

float** matrix(long nrl, long nrh, long ncl, long nch) {
    return alloc_matrix<float>(nrl, nrh, ncl, nch, "allocation failure 1 in matrix()",
                               "allocation failure 2 in matrix()");
}

int16_t** smatrix(long nrl, long nrh, long ncl, long nch) {
    return alloc_matrix<int16_t>(nrl, nrh, ncl, nch, "allocation failure 1 in smatrix()",
                                 "allocation failure 2 in smatrix()");
}

unsigned char** cmatrix(long nrl, long nrh, long ncl, long nch) {
    return alloc_matrix<unsigned char>(nrl, nrh, ncl, nch, "allocation failure 1 in cmatrix()",
                                       "allocation failure 2 in cmatrix()");
}

void free_cvector(unsigned char* v, long nl, long) {
    release_vector(v, nl);
}
void free_svector(int16_t* v, long nl, long) {
    release_vector(v, nl);
}
void free_matrix(float** m, long nrl, long nrh, long ncl, long nch) {
    release_matrix(m, nrl, nrh, ncl, nch);
}
void free_smatrix(int16_t** m, long nrl, long nrh, long ncl, long nch) {
    release_matrix(m, nrl, nrh, ncl, nch);
}
void free_cmatrix(unsigned char** m, long nrl, long nrh, long ncl, long nch) {
    release_matrix(m, nrl, nrh, ncl, nch);
}
