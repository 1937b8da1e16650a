#include "internal/netcdf_library.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "internal/dynamic_library.h"

namespace {

// Resolves one function of this library into its slot.
template <typename F>
bool resolve(void* handle, const char* szName, F* pSlot, std::string* pWhy) {
    return resolveFunction(handle, szName, "netCDF", pSlot, pWhy);
}

const NetcdfLibrary* g_pLoaded = nullptr;

}  // namespace

const NetcdfLibrary* openNetcdfLibrary(const char* szSoname, std::string* pWhy) {
    void* handle = openDynamicLibrary(szSoname, "netCDF", pWhy);
    if (handle == nullptr) {
        return nullptr;
    }
    NetcdfLibrary lib{};
    const bool bAll = resolve(handle, "nc_open", &lib.open, pWhy) &&
                      resolve(handle, "nc_close", &lib.close, pWhy) &&
                      resolve(handle, "nc_inq_ndims", &lib.inq_ndims, pWhy) &&
                      resolve(handle, "nc_inq_nvars", &lib.inq_nvars, pWhy) &&
                      resolve(handle, "nc_inq_dim", &lib.inq_dim, pWhy) &&
                      resolve(handle, "nc_inq_dimid", &lib.inq_dimid, pWhy) &&
                      resolve(handle, "nc_inq_dimlen", &lib.inq_dimlen, pWhy) &&
                      resolve(handle, "nc_inq_var", &lib.inq_var, pWhy) &&
                      resolve(handle, "nc_inq_varid", &lib.inq_varid, pWhy) &&
                      resolve(handle, "nc_inq_varname", &lib.inq_varname, pWhy) &&
                      resolve(handle, "nc_inq_att", &lib.inq_att, pWhy) &&
                      resolve(handle, "nc_get_att", &lib.get_att, pWhy) &&
                      resolve(handle, "nc_get_att_text", &lib.get_att_text, pWhy) &&
                      resolve(handle, "nc_get_att_string", &lib.get_att_string, pWhy) &&
                      resolve(handle, "nc_get_att_double", &lib.get_att_double, pWhy) &&
                      resolve(handle, "nc_free_string", &lib.free_string, pWhy) &&
                      resolve(handle, "nc_get_var_text", &lib.get_var_text, pWhy) &&
                      resolve(handle, "nc_get_var_string", &lib.get_var_string, pWhy) &&
                      resolve(handle, "nc_get_var_double", &lib.get_var_double, pWhy) &&
                      resolve(handle, "nc_get_var1_double", &lib.get_var1_double, pWhy) &&
                      resolve(handle, "nc_get_vara_schar", &lib.get_vara_schar, pWhy) &&
                      resolve(handle, "nc_get_vara_uchar", &lib.get_vara_uchar, pWhy) &&
                      resolve(handle, "nc_get_vara_short", &lib.get_vara_short, pWhy) &&
                      resolve(handle, "nc_get_vara_ushort", &lib.get_vara_ushort, pWhy) &&
                      resolve(handle, "nc_get_vara_int", &lib.get_vara_int, pWhy) &&
                      resolve(handle, "nc_get_vara_uint", &lib.get_vara_uint, pWhy) &&
                      resolve(handle, "nc_get_vara_longlong", &lib.get_vara_longlong, pWhy) &&
                      resolve(handle, "nc_get_vara_ulonglong", &lib.get_vara_ulonglong, pWhy) &&
                      resolve(handle, "nc_get_vara_float", &lib.get_vara_float, pWhy) &&
                      resolve(handle, "nc_get_vara_double", &lib.get_vara_double, pWhy);
    if (!bAll) {
        dlclose(handle);
        return nullptr;
    }
    // Kept open for the life of the process, as a linked library would be.
    return new (std::nothrow) NetcdfLibrary(lib);
}

const NetcdfLibrary* netcdfLibrary(std::string* pWhy) {
    static std::once_flag once;
    static std::string why;
    std::call_once(once, [] { g_pLoaded = openNetcdfLibrary(RDR_NETCDF_SONAME, &why); });
    if (g_pLoaded == nullptr) {
        *pWhy = why.empty() ? "out of memory" : why;
    }
    return g_pLoaded;
}

const NetcdfLibrary& nc() {
    if (g_pLoaded == nullptr) {
        std::abort();  // a caller skipped netcdfLibrary: a fault of this library, not the file
    }
    return *g_pLoaded;
}
