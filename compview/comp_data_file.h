// Where compview finds a composite file: the file-naming rule of the data tree under the
// resource root, and the search for the file of a requested time.
//
//   /DATA/RDR/COMP/<YYYYMM>/<DD>/<NAME>_<YYYYMMDDHHMI>.bin.gz
//
// with NAME by kind: RDR_CMP_<PRODUCT>_<QC> (comp240), RDR_CMP480, RDR_KCJ, RDR_VSRF,
// RDR_MAPLE, and the composite's time (forecasts: the issue time) in KST. The files are
// gzip streams; a plain file under the same name reads as well. A request for a minute
// takes the file of that minute or, failing that, the newest one of the kCvSearchMinutes
// minutes before it.
#ifndef COMPVIEW_COMP_DATA_FILE_H
#define COMPVIEW_COMP_DATA_FILE_H

#include <cstddef>

#include "comp_request.h"

constexpr int kCvSearchMinutes = 10;

// A composite's time, KST.
struct CvTime {
    int year, month, day, hour, minute;
};

// The time minutes later (negative: earlier), on the calendar of the composite times,
// which have no daylight-saving shifts.
CvTime cvAddMinutes(const CvTime& t, int minutes);

// "YYYYMMDDHHMI" of t into buf (at least 13 bytes).
void cvFormatTime(const CvTime& t, char* buf);

// Writes the rooted path of the request's file of time t into buf. False when it does not
// fit.
bool cvDataPath(const CvRequest& req, const CvTime& t, char* buf, size_t size);

// Searches the file of the request (its minute, then each minute before it down to
// kCvSearchMinutes earlier). Only regular files count. True with the path and the file's
// time when one was found.
bool cvFindDataFile(const CvRequest& req, char* path, size_t size, CvTime* found);

#endif
