// The steps of fnLoadBufrRadar, for tests and the fuzz target: a message in memory to a
// BUFR_RADAR, and the decoded values of a message to the volume records.
#ifndef RDR_BUFR_VOLUME_INPUT_H
#define RDR_BUFR_VOLUME_INPUT_H

#include <cstddef>
#include <string>

#include "bufr_radar.h"
#include "internal/bufr_message.h"
#include "internal/bufr_value_list.h"

// The polar volume of the message in p[0..n) with the tables under tableRoot; null with
// *pWhy.
BUFR_RADAR* loadBufrRadarFromBytes(const unsigned char* p, size_t n, const std::string& tableRoot,
                                   std::string* pWhy);

// Fills the zeroed pBufr from the decoded values; false with *pWhy at the first value that
// does not fit the exchange's layout. msg supplies the time when the values give none.
bool bufrVolumeFromValues(const BufrValueList& values, const BufrMessage& msg, BUFR_RADAR* pBufr,
                          std::string* pWhy);

// Date and time fields brought into range as mktime would ("20091231" + 24:00:00 is
// "20100101" "000000"), without touching the process's time zone; false for a year
// outside 0..9999.
bool bufrNormalisedDateTime(long year, long month, long day, long hour, long minute, long second,
                            char szDate[9], char szTime[7]);

#endif
