// The answers lgtview sends on standard output: the lightning map of a request, the legend
// image alone, or the error image with the reason of a refusal. Every answer is a CGI answer
// with CRLF headers ("Content-type: image/png").
#ifndef LGTVIEW_LGT_ANSWER_H
#define LGTVIEW_LGT_ANSWER_H

#include <cstddef>
#include <string>

#include "lgt_request.h"

// Rows of the title band above the map.
constexpr int kLvTitleRows = 50;

// LGTAREA: the province list of the area statistics (the statistics files hold the
// provinces in its order), at most this many areas, and the rows of the table drawn.
constexpr const char* kLvAreaListPath = "/DATA/OUTPUT/BIN/BASI/LGT_VYQ_BASI_AREA.txt";
constexpr int kLvMaxAreas = 300;
constexpr size_t kLvAreaRows = 8;

// The time window of a request: strikes with start <= time <= end (YYYYMMDDHHMM), coloured
// in classes of classMinutes counted back from end (time products).
struct LvWindow {
    char start[13];
    char end[13];
    int classMinutes;
    int titleMinutes;  // the interval the title names
};
LvWindow lvWindowOf(const LvRequest& req);

// Sends the error image saying that no lightning map can be shown and why (plain words,
// nothing private), and writes the reason to standard error for the server's log.
void lvAnswerRefusal(const char* reason);

// Draws and sends the map of the request. False, with a reason, when nothing was sent.
bool lvAnswerMap(const LvRequest& req, char* reason);

// Sends the legend image of the request.
void lvAnswerLegend(const LvRequest& req);

#endif
