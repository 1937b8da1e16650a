// The GRIB product loader's ecCodes half: the keys of each product message, read in a
// child process, and their hand-over to the caller. Nothing here is checked against
// anything else; the loader does that with what comes back.
#ifndef RDR_GRIB_PRODUCT_MESSAGES_H
#define RDR_GRIB_PRODUCT_MESSAGES_H

#include <cstddef>
#include <string>
#include <vector>

#include "internal/isolated_decode.h"

// Most values one message may hold; a product of 64 M cells at most is accepted.
constexpr long kGribProductMaxValues = 64L << 20;

// The numbers kept as text.
constexpr int kGribProductNumberCount = 12;

// One message's keys as the file gives them.
struct GribProductMessage {
    long centre = 0;
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long siteLatitude = 0, siteLongitude = 0, siteElevation = 0;
    long xsize = 0, ysize = 0, maxProduct = 0, maxData = 0;
    long nx = 0, ny = 0;
    std::string product, projdef, quantity;
    std::string siteName, task, system, compMethod, nyquist;
    // xscale, yscale, then LL, UL, UR, LR as longitude, latitude, then the site's longitude
    // and latitude
    std::string numbers[kGribProductNumberCount];
    std::vector<double> prodpar;
    std::vector<float> values;
};

// The key of numbers[i].
extern const char* const kGribProductNumberKeys[kGribProductNumberCount];

// A GRIB message found in a file: its bytes start at offset and run for length.
struct GribMessageSpan {
    std::size_t offset;
    std::size_t length;
};

// Decodes every message of the file's bytes (the spans lie inside them) with ecCodes and
// writes the result to output; refuses (with a message) a message that is not one of our
// products. Runs in the child; eccodesLibrary must have been opened before the fork.
IsolatedVerdict decodeGribProductMessages(const std::vector<unsigned char>& bytes,
                                          const std::vector<GribMessageSpan>& spans,
                                          IsolatedOutput& output);

// The child's limits while it decodes a product file (a fuzzer lowers them).
IsolationLimits gribProductIsolationLimits();
void setGribProductIsolationLimits(const IsolationLimits& limits);

// The messages back from the child's bytes; false with *pWhy when they are cut or
// malformed.
bool readGribProductMessages(const unsigned char* pBytes, std::size_t nBytes,
                             std::vector<GribProductMessage>* pMessages, std::string* pWhy);

#endif
