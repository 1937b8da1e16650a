// libeccodes, opened with dlopen the first time a BUFR or GRIB file is read or written.
// Linked directly, it and its own libraries (libaec, libpng, OpenJPEG) would load at the
// start of every program that links the radar core, whatever file it reads.
#ifndef RDR_ECCODES_LIBRARY_H
#define RDR_ECCODES_LIBRARY_H

#include <eccodes.h>

#include <string>

// The ecCodes functions the BUFR and GRIB modules call, named as in eccodes.h without
// "codes_".
struct EccodesLibrary {
    decltype(&::codes_handle_new_from_message) handle_new_from_message;
    decltype(&::codes_handle_new_from_message_copy) handle_new_from_message_copy;
    decltype(&::codes_handle_new_from_file) handle_new_from_file;
    decltype(&::codes_handle_new_from_samples) handle_new_from_samples;
    decltype(&::codes_bufr_handle_new_from_samples) bufr_handle_new_from_samples;
    decltype(&::codes_grib_handle_new_from_samples) grib_handle_new_from_samples;
    decltype(&::codes_handle_clone) handle_clone;
    decltype(&::codes_handle_delete) handle_delete;
    decltype(&::codes_get_message) get_message;
    decltype(&::codes_is_defined) is_defined;
    decltype(&::codes_is_missing) is_missing;
    decltype(&::codes_get_size) get_size;
    decltype(&::codes_get_length) get_length;
    decltype(&::codes_get_long) get_long;
    decltype(&::codes_get_double) get_double;
    decltype(&::codes_get_string) get_string;
    decltype(&::codes_get_long_array) get_long_array;
    decltype(&::codes_get_double_array) get_double_array;
    decltype(&::codes_get_bytes) get_bytes;
    decltype(&::codes_set_long) set_long;
    decltype(&::codes_set_double) set_double;
    decltype(&::codes_set_string) set_string;
    decltype(&::codes_set_long_array) set_long_array;
    decltype(&::codes_set_double_array) set_double_array;
    decltype(&::codes_set_string_array) set_string_array;
    decltype(&::codes_set_bytes) set_bytes;
    decltype(&::codes_get_error_message) get_error_message;
};

// Where ecCodes looks for our local definitions, in front of its own: the BUFR descriptor
// tables and the GRIB definitions under the resource root, then whatever the caller's
// ECCODES_EXTRA_DEFINITION_PATH already named. ecCodes reads its paths from the
// environment once, when its default context is made, so eccodesLibrary sets
// ECCODES_EXTRA_DEFINITION_PATH and ECCODES_EXTRA_SAMPLES_PATH before the first call; a
// full ECCODES_DEFINITION_PATH or GRIB_DEFINITION_PATH of the caller still wins over
// ecCodes' own definitions, as ecCodes documents.
std::string eccodesDefinitionPath();
std::string eccodesSamplesPath();

// The library with every function resolved and the paths above in place, opened once per
// process (threads may ask at once); null with the reason in *pWhy when it cannot be
// opened or lacks a function. Ask before forking a child that works with it: a child of a
// threaded process must not dlopen.
const EccodesLibrary* eccodesLibrary(std::string* pWhy);

// The same from the named shared library, opened anew (for tests: a missing one).
const EccodesLibrary* openEccodesLibrary(const char* szSoname, std::string* pWhy);

// The loaded library, for code that runs after eccodesLibrary succeeded.
const EccodesLibrary& ec();

#endif
