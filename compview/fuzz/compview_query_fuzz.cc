// Fuzzes the compview query parser: any query is either refused with a reason made of the
// program's own words or accepted with every value inside its bounds and the keys fitting
// together, and the file path built from an accepted query stays inside the data tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comp_data_file.h"
#include "comp_request.h"
#include "comp_window.h"
#include "display_utilities.h"
#include "fuzz_check.h"

namespace {

bool reasonChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr(" _'(),=:.-", c) != nullptr;
}

bool nameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("RDR_ROOT", "/fuzz-root", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string qs(reinterpret_cast<const char*>(bytes), size);
    qs = qs.c_str();  // the environment cannot hold NUL bytes
    CvRequest req;
    cvDefaultRequest(&req);
    char reason[kCvReasonSize];
    std::memset(reason, 'x', sizeof reason);
    const int rc = cvParseQuery(qs.c_str(), &req, reason);
    FUZZ_CHECK(rc == 0 || rc == -1);
    const size_t reasonLength = strnlen(reason, sizeof reason);
    FUZZ_CHECK(reasonLength < sizeof reason);
    FUZZ_CHECK((rc == 0) == (reasonLength == 0));
    for (size_t i = 0; i < reasonLength; ++i) {
        FUZZ_CHECK(reasonChar(reason[i]));
    }
    // A text answer is asked for only by the exact pair.
    if (cvWantsText(qs.c_str())) {
        FUZZ_CHECK(qs.find("answer=point") != std::string::npos);
    }
    if (rc != 0) {
        return 0;
    }
    FUZZ_CHECK(qs.size() <= kCvMaxQueryLength);
    FUZZ_CHECK(std::strlen(req.kind_name) >= 3);
    FUZZ_CHECK(req.year >= 1970 && req.year <= 2099 && req.month >= 1 && req.month <= 12);
    FUZZ_CHECK(req.day >= 1 && req.day <= fnGetLastDay(req.year, req.month));
    FUZZ_CHECK(req.hour >= 0 && req.hour <= 23 && req.minute >= 0 && req.minute <= 59);
    FUZZ_CHECK(cvWindowAt(req.window) != nullptr);
    FUZZ_CHECK(req.lead_min >= 0 && req.lead_min <= 360 && req.lead_min % 10 == 0);
    FUZZ_CHECK(req.kind == CvKind::Maple || req.lead_min % 60 == 0);
    FUZZ_CHECK(cvIsForecast(req.kind) || (req.lead_min == 0 && req.view == CvView::Echo));
    FUZZ_CHECK(!cvIsForecast(req.kind) || std::strcmp(req.unit, "RN") == 0);
    FUZZ_CHECK(req.kind == CvKind::Comp240 || (std::strcmp(req.product, "CAPPI") == 0 &&
                                               std::strcmp(req.qc, "NOQC") == 0 && !req.shadow));
    if (req.answer == CvAnswer::Point) {
        FUZZ_CHECK(req.lon >= -180.0 && req.lon <= 180.0 && req.lat >= -90.0 && req.lat <= 90.0);
    }
    // The path: the data tree, name characters, digits and the extension only.
    char path[256];
    const CvTime t{req.year, req.month, req.day, req.hour, req.minute};
    FUZZ_CHECK(cvDataPath(req, t, path, sizeof path));
    const std::string prefix = "/fuzz-root/DATA/RDR/COMP/";
    FUZZ_CHECK(std::strncmp(path, prefix.c_str(), prefix.size()) == 0);
    FUZZ_CHECK(std::strstr(path, "..") == nullptr);
    const char* name = std::strrchr(path, '/') + 1;
    const size_t nameLength = std::strlen(name);
    FUZZ_CHECK(nameLength > 7 && std::strcmp(name + nameLength - 7, ".bin.gz") == 0);
    for (size_t i = 0; i + 7 < nameLength; ++i) {
        FUZZ_CHECK(nameChar(name[i]));
    }
    return 0;
}
