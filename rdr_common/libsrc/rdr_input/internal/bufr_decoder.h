// Table-driven decoding of a BUFR message's data section (uncompressed subsets): the
// descriptors of section 3 are expanded through the tables (sequences, replications,
// the width, scale and character operators) and each value is handed to a sink in
// descriptor order. Untrusted input: every read is checked against the section, every
// replication and nesting is bounded, and the work is bounded by the section's size.
#ifndef RDR_BUFR_DECODER_H
#define RDR_BUFR_DECODER_H

#include <cstddef>
#include <string>
#include <string_view>

#include "internal/bufr_message.h"
#include "internal/bufr_tables.h"

class BufrValueSink {
  public:
    virtual ~BufrValueSink() = default;
    // One call per decoded value; false stops the decode. Replication factors arrive as
    // numbers under their class-31 descriptor.
    virtual bool number(int iFxy, double dValue, bool bMissing) = 0;
    virtual bool text(int iFxy, std::string_view text) = 0;
    // A replicated run of one 8-bit element of scale 0 and reference 0 (the byte streams
    // of compressed radar data) in one call; 255 is that element's missing value. By
    // default one number() per byte.
    virtual bool bytes(int iFxy, const unsigned char* p, size_t n);
    // A table D sequence starts and ends (nested ones included).
    virtual bool enter(int /*iFxy*/) { return true; }
    virtual bool leave(int /*iFxy*/) { return true; }
};

// False with *pWhy for a descriptor the tables lack, an operator not read, data that ends
// early, too much nesting or work, or a sink that stopped ("stopped by the reader").
bool decodeBufrData(const BufrMessage& msg, const BufrTables& tables, BufrValueSink& sink,
                    std::string* pWhy);

// "F-XX-YYY" for messages.
std::string bufrDescriptorName(int iFxy);

#endif
