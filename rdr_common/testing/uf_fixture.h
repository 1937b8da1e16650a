// UF test helpers: raw file bytes, record streams in every framing, gzip, a small UF
// volume written from a synthetic STD volume, and a field-by-field UF_RADAR comparison.
//
//   std::vector<Bytes> records = uffix::splitFourFramed(uffix::readAll(path));
//   uffix::writeBytes(file, uffix::frameRecords(records, UF_FRAME_TWO), /*gzip=*/true);
//   EXPECT_EQ(uffix::diffUf(a, b, true), "");
#ifndef RDR_TESTING_UF_FIXTURE_H
#define RDR_TESTING_UF_FIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "synthetic_volume.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

namespace uffix {

using Bytes = std::vector<unsigned char>;

using UfRadarPtr = rdr::UfRadarPtr;

// Whole file, decompressed when it is gzip (zlib passes plain files through).
Bytes readAll(const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes, bool gzip = false);

// Big-endian 16-bit word at a 1-based word position of a record.
int wordAt(const Bytes& record, int pos);
void setWordAt(Bytes& record, int pos, int value);

// Records of a stream framed by 32-bit counts with 32-bit trailers (the sample files).
std::vector<Bytes> splitFourFramed(const Bytes& stream);
// Records laid out in a framing of uf_volume_output.h (UF_FRAME_*).
Bytes frameRecords(const std::vector<Bytes>& records, int framing);

// One encoded record per ray of the volume, in sweep order.
std::vector<Bytes> encodeVolume(const UF_RADAR* uf);

// A small volume: sweeps x rays x bins of DZ and VR, values a function of position,
// with a Nyquist velocity of 26.5 m/s and a realistic global header.
rdrtest::StdRadarPtr smallStdVolume(int sweeps, int rays, int bins);

// First difference between two UF volumes ("" when equal). Header positions and the
// record length are compared only when withPositions is set.
std::string diffUf(const UF_RADAR* a, const UF_RADAR* b, bool withPositions);

}  // namespace uffix

#endif
