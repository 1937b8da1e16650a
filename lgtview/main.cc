// lgtview: answers a web query with a PNG lightning map (strikes of a time window over the
// map lines of a map window, coloured by age, by peak current or over a period, with the
// title and the legend), or with the legend image alone. Every refusal is answered with the
// error image and its reason; the exit status is 0 whenever an answer was sent.
#include <cstdlib>

#include "lgt_answer.h"
#include "lgt_request.h"

int main() {
    char reason[kLvReasonSize];
    LvRequest req;
    lvDefaultRequest(&req);
    if (lvParseQuery(std::getenv("QUERY_STRING"), &req, reason) != 0) {
        lvAnswerRefusal(reason);
        return 0;
    }
    if (req.legend) {
        lvAnswerLegend(req);
        return 0;
    }
    if (!lvAnswerMap(req, reason)) {
        lvAnswerRefusal(reason);
    }
    return 0;
}
