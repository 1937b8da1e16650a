// compview: answers a web query with a PNG image of a multi-radar composite (the 1 km and
// 3 km composites, the wide-area composite, and the two very-short-range forecasts) over a
// map window, with storm cells, weather symbols, map lines and legend, or with the value at
// one point as text. Every refusal is answered with the no-data image (or a text error for
// a point request) and its reason; the exit status is 0 whenever an answer was sent.
#include <cstdio>
#include <cstdlib>

#include "comp_answer.h"
#include "comp_data_file.h"
#include "comp_request.h"

namespace {

int answer() {
    const char* qs = std::getenv("QUERY_STRING");
    const bool text = cvWantsText(qs);
    char reason[kCvReasonSize];
    CvRequest req;
    cvDefaultRequest(&req);
    if (cvParseQuery(qs, &req, reason) != 0) {
        cvAnswerRefusal(req, text, reason);
        return 0;
    }
    char path[4096];
    CvTime found{};
    if (!cvFindDataFile(req, path, sizeof path, &found)) {
        std::snprintf(reason, sizeof reason,
                      "no %s file at %04d.%02d.%02d %02d:%02d KST or %d minutes before",
                      req.kind_name, req.year, req.month, req.day, req.hour, req.minute,
                      kCvSearchMinutes);
        cvAnswerRefusal(req, text, reason);
        return 0;
    }
    const bool sent = req.answer == CvAnswer::Point ? cvAnswerPoint(req, path, reason)
                                                    : cvAnswerImage(req, found, path, reason);
    if (!sent) {
        // The path goes to the server's log only.
        std::fprintf(stderr, "compview: %s: %s\n", path, reason);
        cvAnswerRefusal(req, text, reason);
    }
    return 0;
}

}  // namespace

int main() {
    return answer();
}
