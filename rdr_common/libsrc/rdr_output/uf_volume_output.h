// UF writer, the inverse of the UF reader: STD_RADAR -> UF_RADAR (the sync-down,
// uf_volume_output_sync_down.cc), UF_RAY -> one record of big-endian words (the encoder,
// uf_volume_output_encoder.cc), and a file writer for every framing the reader recognises,
// plain or gzip, that replaces the target atomically (uf_volume_output.cc).
//
// Reading a written file gives back the same UF_RADAR contents: header values, field
// names, counts and bins. Header positions are laid out afresh by the encoder.
#ifndef RDR_UF_VOLUME_OUTPUT_H
#define RDR_UF_VOLUME_OUTPUT_H

#include "standard_volume.h"
#include "uf_radar.h"

// Record framings of a written file.
enum {
    UF_FRAME_ZERO = 0,             // records back to back
    UF_FRAME_TWO = 1,              // 16-bit byte count, record, 16-bit trailer
    UF_FRAME_FOUR = 2,             // 32-bit byte count, record, 32-bit trailer
    UF_FRAME_FOUR_NO_TRAILER = 3,  // 32-bit byte count, record
};

// A UF_RADAR holding a copy of the volume (the STD_RADAR stays the caller's), one ray
// per record, sweeps numbered from 1, the optional header on every ray. Null with a
// message when the volume does not fit the format's limits or is incomplete.
UF_RADAR* fnStdSyncDownUf(STD_RADAR* pStd);

// Writes the rays of every sweep slot, in slot order, with the given framing, gzip-
// compressed when bGzip is 1. Returns 1, or 0 with a message (the target is untouched).
// A symbolic link is written through; a device or FIFO is written in place.
int fnWriteUf(UF_RADAR* pUf, const char* pFile, int iFraming, int bGzip);

#endif
