// The zone volume times are shown in: KST (the stored clock of every volume), UTC or the
// user's own. The library keeps times as KST wall-clock seconds computed under TZ=UTC, so
// the tool runs under TZ=UTC and converts only for display.
#ifndef RDR_TOOL_TIME_ZONE_OPTION_H
#define RDR_TOOL_TIME_ZONE_OPTION_H

#include <ctime>
#include <string>

enum class DisplayZone { kKst, kUtc, kLocal };

// Puts the process under TZ=UTC, remembering the user's zone for kLocal. Call first in main.
void useUtcProcessZone();

// "UTC", "KST" or "local"; false for anything else.
bool parseDisplayZone(const char* szText, DisplayZone* pZone);

// The shift from the stored KST clock to the zone's clock at tStored, and the zone's name.
int displayZoneShift(time_t tStored, DisplayZone zone, std::string* pName);

// A stored volume time in the zone, formatted with strftime's szFormat and followed by the
// zone's name ("2005-08-28 18:01:29 UTC").
std::string formatVolumeTime(time_t tStored, DisplayZone zone, const char* szFormat);

#endif
