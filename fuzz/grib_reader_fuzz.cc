// Feeds arbitrary bytes to the GRIB volume loader as a file, converts what loads and checks
// the volume is whole; the same bytes go to the in-process checks that guard the caller. The
// messages are decoded by ecCodes in the loader's child process, so whatever ecCodes does with a
// damaged message must come back as a refusal here.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_scratch_file.h"
#include "fuzz_staged_root.h"
#include "grib_radar.h"
#include "internal/grib_volume_input.h"

// ecCodes finds the system's definitions under the resource tree: the staged one of the
// build, unless the caller names another.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzUseStagedRoot();
    setGribIsolationLimits(fuzzChildLimits(gribIsolationLimits()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // What runs in this process on bytes it did not make: the framing and identification
    // of messages, and the parse of a child's hand-over (fed the input as one).
    std::vector<GribMessageSpan> spans;
    std::string why;
    if (splitGribMessages(data, size, &spans, &why)) {
        for (const GribMessageSpan& span : spans) {
            FUZZ_CHECK(span.offset + span.length <= size);
            gribMessageKind(data + span.offset, span.length, &why);
        }
    }
    if (GRIB_RADAR* pHandedOver = readGribRadarBytes(data, size, &why)) {
        STD_RADAR* pStd = fnGribSyncUpStd(pHandedOver);
        FUZZ_CHECK(pStd == nullptr || fnValidStdRadar(pStd) == 1);
        fnFreeStdRadar(pStd);
        fnFreeGribRadar(pHandedOver);
    }

    char* szPath = const_cast<char*>(fuzzInputFile("grib_reader_fuzz", data, size));
    GRIB_RADAR* pGrib = fnLoadGribRadar(szPath);
    if (pGrib == nullptr) {
        return 0;
    }
    FUZZ_CHECK(pGrib->m_iMaxVolume >= 1 && pGrib->m_iMaxVolume <= GRIB_MAX_FIELD);
    STD_RADAR* pStd = fnGribSyncUpStd(pGrib);
    FUZZ_CHECK(pStd == nullptr || fnValidStdRadar(pStd) == 1);
    fnFreeGribRadar(pGrib);
    fnFreeStdRadar(pStd);
    return 0;
}
