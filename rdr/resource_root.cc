#include "resource_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "rdr_root.h"

namespace {

// The folder every drawing reads first (colour tables), under a root.
constexpr const char* kColourFolder = "/rdr/www/cgi-src/resource/color";

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return std::string();
    }
    path[n] = '\0';
    std::string exe(path);
    return exe.substr(0, exe.find_last_of('/'));
}

}  // namespace

void findResourceRoot() {
    const char* szRoot = std::getenv("RDR_ROOT");
    if ((szRoot != nullptr && szRoot[0] != '\0') || isFolder(kColourFolder)) {
        return;
    }
    const std::string bin = programFolder();
    if (bin.empty()) {
        return;
    }
    for (const char* szRelative : {"/../root", "/../share/rdr/root"}) {
        const std::string candidate = bin + szRelative;
        if (isFolder(candidate + kColourFolder)) {
            char resolved[PATH_MAX];
            const std::string root =
                realpath(candidate.c_str(), resolved) != nullptr ? resolved : candidate;
            setenv("RDR_ROOT", root.c_str(), 1);
            return;
        }
    }
}

std::string missingDrawingResources() {
    const std::string folder = rdrRootPath(std::string(kColourFolder));
    return isFolder(folder) ? std::string() : folder;
}
