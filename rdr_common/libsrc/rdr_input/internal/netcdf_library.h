// libnetcdf, opened with dlopen the first time a CF/Radial file is read. Linked directly,
// it and its own libraries (libhdf5, curl, gnutls, kerberos, LDAP, libxml2) would load at
// the start of every program that links the radar core, whatever file it reads.
#ifndef RDR_NETCDF_LIBRARY_H
#define RDR_NETCDF_LIBRARY_H

#include <netcdf.h>

#include <string>

// The netCDF functions the CF/Radial loader calls, named as in netcdf.h without "nc_".
struct NetcdfLibrary {
    decltype(&::nc_open) open;
    decltype(&::nc_close) close;
    decltype(&::nc_inq_ndims) inq_ndims;
    decltype(&::nc_inq_nvars) inq_nvars;
    decltype(&::nc_inq_dim) inq_dim;
    decltype(&::nc_inq_dimid) inq_dimid;
    decltype(&::nc_inq_dimlen) inq_dimlen;
    decltype(&::nc_inq_var) inq_var;
    decltype(&::nc_inq_varid) inq_varid;
    decltype(&::nc_inq_varname) inq_varname;
    decltype(&::nc_inq_att) inq_att;
    decltype(&::nc_get_att) get_att;
    decltype(&::nc_get_att_text) get_att_text;
    decltype(&::nc_get_att_string) get_att_string;
    decltype(&::nc_get_att_double) get_att_double;
    decltype(&::nc_free_string) free_string;
    decltype(&::nc_get_var_text) get_var_text;
    decltype(&::nc_get_var_string) get_var_string;
    decltype(&::nc_get_var_double) get_var_double;
    decltype(&::nc_get_var1_double) get_var1_double;
    decltype(&::nc_get_vara_schar) get_vara_schar;
    decltype(&::nc_get_vara_uchar) get_vara_uchar;
    decltype(&::nc_get_vara_short) get_vara_short;
    decltype(&::nc_get_vara_ushort) get_vara_ushort;
    decltype(&::nc_get_vara_int) get_vara_int;
    decltype(&::nc_get_vara_uint) get_vara_uint;
    decltype(&::nc_get_vara_longlong) get_vara_longlong;
    decltype(&::nc_get_vara_ulonglong) get_vara_ulonglong;
    decltype(&::nc_get_vara_float) get_vara_float;
    decltype(&::nc_get_vara_double) get_vara_double;
};

// The library with every function resolved, opened once per process (threads may ask at
// once); null with the reason in *pWhy when it cannot be opened or lacks a function. Ask
// before forking a child that reads with it: a child of a threaded process must not dlopen.
const NetcdfLibrary* netcdfLibrary(std::string* pWhy);

// The same from the named shared library, opened anew (for tests: a missing one).
const NetcdfLibrary* openNetcdfLibrary(const char* szSoname, std::string* pWhy);

// The loaded library, for code that runs after netcdfLibrary succeeded.
const NetcdfLibrary& nc();

#endif
