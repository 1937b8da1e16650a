// The product loader's two halves: the HDF5 read, which runs in a child process, and the
// hand-over of the HDF_PRODUCT it built to the caller. The reader of the hand-over trusts
// nothing of it: counts and sizes are checked against the limits below, pointers are made
// afresh and every text field ends up terminated.
#ifndef RDR_HDF_PRODUCT_INPUT_TRANSFER_H
#define RDR_HDF_PRODUCT_INPUT_TRANSFER_H

#include <cstddef>
#include <string>

#include "hdf_radar.h"
#include "internal/isolated_decode.h"

// Bounds of what the loader accepts: a grid of at most 64 M cells and 20000 cells a side,
// at most this many data items per dataset (families hold at most 99 datasets each).
constexpr long kHdfProductMaxSide = 20000;
constexpr long kHdfProductMaxCells = 64L << 20;
constexpr int kHdfProductMaxFields = 64;

// The child's limits while it reads a product file (a fuzzer lowers them).
IsolationLimits hdfProductIsolationLimits();
void setHdfProductIsolationLimits(const IsolationLimits& limits);

// Reads the file in this process. Null with a message printed, *pOutOfMemory set when an
// allocation failed.
HDF_PRODUCT* readHdfProductInProcess(const char* szFile, bool* pOutOfMemory);

// False when the output refuses a write.
bool writeHdfProductBytes(const HDF_PRODUCT& product, IsolatedOutput& output);

// A new HDF_PRODUCT (release with fnFreeHdfProduct), or null with the reason in *pWhy.
HDF_PRODUCT* readHdfProductBytes(const unsigned char* pBytes, std::size_t nBytes,
                                 std::string* pWhy);

#endif
