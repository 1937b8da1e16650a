// UF test helpers on the reader's structure: records from the library's encoder, a small
// STD volume for the writer's round trips, a field-by-field UF_RADAR comparison, and the
// description a loaded UF_RADAR gives for writing it again with the independent writer
// of uf_bytes.h.
//
//   UfRadarPtr uf(fnLoadUf(file.c_str()));
//   EXPECT_EQ(ufbytes::firstDifference(ufbytes::writeRecords(uffix::describeUf(uf.get())),
//                                      ufbytes::writeRecords(written)), "");
//   EXPECT_EQ(uffix::diffUf(a, b, true), "");
#ifndef RDR_TESTING_UF_FIXTURE_H
#define RDR_TESTING_UF_FIXTURE_H

#include <string>
#include <vector>

#include "owned_handles.h"
#include "synthetic_volume.h"
#include "uf_bytes.h"
#include "uf_radar.h"

namespace uffix {

using Bytes = ufbytes::Bytes;

using UfRadarPtr = rdr::UfRadarPtr;

// One record per ray of the volume, in sweep order, from the library's encoder.
std::vector<Bytes> encodeVolume(const UF_RADAR* uf);

// What the rays of every sweep slot say, as a description for ufbytes::writeRecords:
// what a volume's records share is taken from its first ray, the rest from each ray.
// Writing it gives the records back word for word when they were laid out by the
// independent writer and share what it makes them share.
ufbytes::Volume describeUf(const UF_RADAR* uf);

// A small volume: sweeps x rays x bins of DZ and VR, values a function of position,
// with a Nyquist velocity of 26.5 m/s and a realistic global header.
rdrtest::StdRadarPtr smallStdVolume(int sweeps, int rays, int bins);

// First difference between two UF volumes ("" when equal). Header positions and the
// record length are compared only when withPositions is set.
std::string diffUf(const UF_RADAR* a, const UF_RADAR* b, bool withPositions);

}  // namespace uffix

#endif
