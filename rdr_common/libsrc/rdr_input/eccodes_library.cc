#include "internal/eccodes_library.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "internal/dynamic_library.h"

#include "rdr_root.h"

namespace {

// Resolves one function of this library into its slot.
template <typename F>
bool resolve(void* handle, const char* szName, F* pSlot, std::string* pWhy) {
    return resolveFunction(handle, szName, "ecCodes", pSlot, pWhy);
}

const EccodesLibrary* g_pLoaded = nullptr;

// The caller's own extra path, when set, stays after ours.
std::string withCallerExtra(std::string ours, const char* szVariable) {
    const char* szCaller = std::getenv(szVariable);
    if (szCaller != nullptr && szCaller[0] != '\0') {
        ours += ':';
        ours += szCaller;
    }
    return ours;
}

}  // namespace

std::string eccodesDefinitionPath() {
    const std::string resource = rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/";
    return resource + "bufr_table:" + resource + "grib_api/definitions";
}

std::string eccodesSamplesPath() {
    return rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/grib_api/samples";
}

const EccodesLibrary* openEccodesLibrary(const char* szSoname, std::string* pWhy) {
    void* handle = openDynamicLibrary(szSoname, "ecCodes", pWhy);
    if (handle == nullptr) {
        return nullptr;
    }
    EccodesLibrary lib{};
    const bool bAll =
        resolve(handle, "codes_handle_new_from_message", &lib.handle_new_from_message, pWhy) &&
        resolve(handle, "codes_handle_new_from_message_copy", &lib.handle_new_from_message_copy,
                pWhy) &&
        resolve(handle, "codes_handle_new_from_file", &lib.handle_new_from_file, pWhy) &&
        resolve(handle, "codes_handle_new_from_samples", &lib.handle_new_from_samples, pWhy) &&
        resolve(handle, "codes_bufr_handle_new_from_samples", &lib.bufr_handle_new_from_samples,
                pWhy) &&
        resolve(handle, "codes_grib_handle_new_from_samples", &lib.grib_handle_new_from_samples,
                pWhy) &&
        resolve(handle, "codes_handle_clone", &lib.handle_clone, pWhy) &&
        resolve(handle, "codes_handle_delete", &lib.handle_delete, pWhy) &&
        resolve(handle, "codes_get_message", &lib.get_message, pWhy) &&
        resolve(handle, "codes_is_defined", &lib.is_defined, pWhy) &&
        resolve(handle, "codes_is_missing", &lib.is_missing, pWhy) &&
        resolve(handle, "codes_get_size", &lib.get_size, pWhy) &&
        resolve(handle, "codes_get_length", &lib.get_length, pWhy) &&
        resolve(handle, "codes_get_long", &lib.get_long, pWhy) &&
        resolve(handle, "codes_get_double", &lib.get_double, pWhy) &&
        resolve(handle, "codes_get_string", &lib.get_string, pWhy) &&
        resolve(handle, "codes_get_long_array", &lib.get_long_array, pWhy) &&
        resolve(handle, "codes_get_double_array", &lib.get_double_array, pWhy) &&
        resolve(handle, "codes_get_bytes", &lib.get_bytes, pWhy) &&
        resolve(handle, "codes_set_long", &lib.set_long, pWhy) &&
        resolve(handle, "codes_set_double", &lib.set_double, pWhy) &&
        resolve(handle, "codes_set_string", &lib.set_string, pWhy) &&
        resolve(handle, "codes_set_long_array", &lib.set_long_array, pWhy) &&
        resolve(handle, "codes_set_double_array", &lib.set_double_array, pWhy) &&
        resolve(handle, "codes_set_string_array", &lib.set_string_array, pWhy) &&
        resolve(handle, "codes_set_bytes", &lib.set_bytes, pWhy) &&
        resolve(handle, "codes_get_error_message", &lib.get_error_message, pWhy);
    if (!bAll) {
        dlclose(handle);
        return nullptr;
    }
    // Kept open for the life of the process, as a linked library would be.
    return new (std::nothrow) EccodesLibrary(lib);
}

const EccodesLibrary* eccodesLibrary(std::string* pWhy) {
    static std::once_flag once;
    static std::string why;
    std::call_once(once, [] {
        // Before the library is opened: nothing has made ecCodes' context yet.
        const std::string definitions =
            withCallerExtra(eccodesDefinitionPath(), "ECCODES_EXTRA_DEFINITION_PATH");
        const std::string samples =
            withCallerExtra(eccodesSamplesPath(), "ECCODES_EXTRA_SAMPLES_PATH");
        if (setenv("ECCODES_EXTRA_DEFINITION_PATH", definitions.c_str(), 1) != 0 ||
            setenv("ECCODES_EXTRA_SAMPLES_PATH", samples.c_str(), 1) != 0) {
            why = "cannot set the ecCodes definition path";
            return;
        }
        g_pLoaded = openEccodesLibrary(RDR_ECCODES_SONAME, &why);
    });
    if (g_pLoaded == nullptr) {
        *pWhy = why.empty() ? "out of memory" : why;
    }
    return g_pLoaded;
}

const EccodesLibrary& ec() {
    if (g_pLoaded == nullptr) {
        std::abort();  // a caller skipped eccodesLibrary: a fault of this library, not the file
    }
    return *g_pLoaded;
}
