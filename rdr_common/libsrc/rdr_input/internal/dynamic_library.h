// What the on-demand format libraries (netCDF, ecCodes) share: opening a shared library by
// name and resolving its functions into a table of slots, each failure named.
#ifndef RDR_DYNAMIC_LIBRARY_H
#define RDR_DYNAMIC_LIBRARY_H

#include <dlfcn.h>

#include <string>

// The library opened for good (RTLD_NOW, local symbols); null with *pWhy naming it.
inline void* openDynamicLibrary(const char* szSoname, const char* szWhat, std::string* pWhy) {
    void* handle = dlopen(szSoname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* szError = dlerror();
        *pWhy = std::string("cannot load the ") + szWhat + " library " + szSoname + ": " +
                (szError != nullptr ? szError : "unknown error");
    }
    return handle;
}

// Resolves one function into its slot; false names the one missing.
template <typename F>
bool resolveFunction(void* handle, const char* szName, const char* szWhat, F* pSlot,
                     std::string* pWhy) {
    *pSlot = reinterpret_cast<F>(dlsym(handle, szName));
    if (*pSlot == nullptr) {
        *pWhy = std::string(szName) + " is missing from the " + szWhat + " library";
        return false;
    }
    return true;
}

#endif
