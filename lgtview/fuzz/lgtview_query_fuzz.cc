// Fuzzes the lgtview query parser: any query is either refused with a reason made of the
// program's own words or accepted with every value inside its bounds, and the time window
// made from an accepted query is a real, ordered pair of times.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display_utilities.h"
#include "fuzz_check.h"
#include "lgt_answer.h"
#include "lgt_map.h"
#include "lgt_request.h"

namespace {

bool reasonChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr(" _'(),=:.-", c) != nullptr;
}

bool digits12(const char* s) {
    if (std::strlen(s) != 12) {
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string qs(reinterpret_cast<const char*>(bytes), size);
    qs = qs.c_str();  // the environment cannot hold NUL bytes
    LvRequest req;
    lvDefaultRequest(&req);
    char reason[kLvReasonSize];
    std::memset(reason, 'x', sizeof reason);
    const int rc = lvParseQuery(qs.c_str(), &req, reason);
    FUZZ_CHECK(rc == 0 || rc == -1);
    const size_t reasonLength = strnlen(reason, sizeof reason);
    FUZZ_CHECK(reasonLength < sizeof reason);
    FUZZ_CHECK((rc == 0) == (reasonLength == 0));
    for (size_t i = 0; i < reasonLength; ++i) {
        FUZZ_CHECK(reasonChar(reason[i]));
    }
    if (rc != 0) {
        return 0;
    }
    FUZZ_CHECK(qs.size() <= kLvMaxQueryLength);
    FUZZ_CHECK(std::strncmp(req.product_name, "LGT", 3) == 0);
    FUZZ_CHECK(lvFindMapWindow(req.map) != nullptr);
    FUZZ_CHECK(req.year >= 1970 && req.year <= 2099 && req.month >= 1 && req.month <= 12);
    FUZZ_CHECK(req.day >= 1 && req.day <= fnGetLastDay(req.year, req.month));
    FUZZ_CHECK(req.hour >= 0 && req.hour <= 23 && req.minute >= 0 && req.minute <= 59);
    FUZZ_CHECK(req.interval >= 1 && req.interval <= kLvMaxIntervalMinutes);
    FUZZ_CHECK(req.product != LvProduct::Area || req.interval <= kLvMaxAreaDays);
    FUZZ_CHECK(req.height == 0 || (req.legend && req.height >= kLvMinLegendHeight &&
                                   req.height <= kLvMaxLegendHeight));
    const LvWindow w = lvWindowOf(req);
    FUZZ_CHECK(digits12(w.start) && digits12(w.end));
    FUZZ_CHECK(std::strcmp(w.start, w.end) <= 0);
    FUZZ_CHECK(w.classMinutes >= 1 && w.titleMinutes >= w.classMinutes);
    return 0;
}
