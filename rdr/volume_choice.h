// What the product and image commands choose from a loaded volume on the user's behalf, and
// what they refuse before computing anything: the moment when none is named, the sweep
// nearest an elevation, and volumes whose scan geometry a plan view cannot show.
#ifndef RDR_TOOL_VOLUME_CHOICE_H
#define RDR_TOOL_VOLUME_CHOICE_H

#include <string>
#include <vector>

#include "standard_volume.h"
#include "volume_formats.h"

// Why a file could not be loaded, for the tool's own line: the registry's reason when no
// reader takes the file, else that the format's reader refused it (its message is printed
// by the library just before).
std::string loadFailureReason(const std::string& path, const char* szFormat);

// The tool's line for a file that could not be loaded: "rdr: FILE: cannot load (why)".
void reportLoadFailure(const std::string& path, const char* szFormat);

// One line per damage note of a load ("rdr: FILE: the file ends inside record 12; ..."),
// so that products made of what could be read are not taken for whole ones.
void reportDamage(const std::string& path, const VolumeLoadNotes& notes);

// Moment names carried by any ray, blank-separated ("none" for a volume without any).
std::string momentNames(const STD_RADAR* pStd);

// The moment a command takes when --field is not given: the first reflectivity moment the
// volume has (DZ, CZ, then the other reflectivity names); empty when it has none.
std::string defaultField(const STD_RADAR* pStd);

// The moments a command loads: the named one (when not empty) and, when wanted, every
// reflectivity name the default choice and the reflectivity products may take.
std::vector<std::string> momentsToLoad(const std::string& named, bool bReflectivity);

// momentNames of the whole file (null-safe), for the message about a moment a load that
// was asked for some moments lacks.
std::string fileMomentNames(const char* szFile);

// Fixed angle of sweep s (its first ray's); NaN for a sweep without rays.
float sweepAngle(const STD_RADAR* pStd, int s);

// The sweep whose fixed angle is nearest fElevation.
int sweepNearestElevation(const STD_RADAR* pStd, float fElevation);

// Empty when plan-view products can be made of the volume; otherwise why not, in words
// ("an RHI volume: its sweeps are vertical sections, not plan views").
std::string planViewRefusal(const STD_RADAR* pStd);

// Empty when the section product ("RHI": a range-height image of one sweep, "TH": a
// time-height image) suits the volume's scan mode; otherwise why not, in words.
std::string sectionRefusal(const STD_RADAR* pStd, const std::string& product);

#endif
