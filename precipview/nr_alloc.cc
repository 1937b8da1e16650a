#include "nr_alloc.h"

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

template <typename T>
T** alloc_matrix(long nrl, long nrh, long ncl, long nch, const char* what1, const char* what2) {
    T** m = alloc_vector<T*>(nrl, nrh, what1);
    for (long i = nrl; i <= nrh; i++) {
        m[i] = alloc_vector<T>(ncl, nch, what2);
    }
    return m;
}

template <typename T>
void release_matrix(T** m, long nrl, long nrh, long ncl) {
    if (m == nullptr) {
        return;
    }
    for (long i = nrh; i >= nrl; i--) {
        release_vector(m[i], ncl);
    }
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
void free_matrix(float** m, long nrl, long nrh, long ncl, long) {
    release_matrix(m, nrl, nrh, ncl);
}
void free_smatrix(int16_t** m, long nrl, long nrh, long ncl, long) {
    release_matrix(m, nrl, nrh, ncl);
}
void free_cmatrix(unsigned char** m, long nrl, long nrh, long ncl, long) {
    release_matrix(m, nrl, nrh, ncl);
}
