// Test support for the product export writers: products whose cells are a closed-form
// function of row and column, independent unpackers (unzip, gzip, Python's zipfile) run
// without a shell, and a file-size limit standing in for a full disk.
#ifndef RDR_EXPORT_TEST_SUPPORT_H
#define RDR_EXPORT_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "standard_product.h"

extern char** environ;

namespace rdrtest {

// Standard output of a program found on PATH, run with these arguments and no shell; the
// exit status goes to *pStatus (-1 when it could not be run).
inline std::string programOutput(const std::vector<std::string>& args, int* pStatus = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int fds[2];
    std::string out;
    int status = -1;
    if (pipe(fds) == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        pid_t pid = 0;
        const bool spawned =
            posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char buf[65536];
        ssize_t n = 0;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) {
            out.append(buf, static_cast<size_t>(n));
        }
        close(fds[0]);
        int waited = 0;
        if (spawned && waitpid(pid, &waited, 0) == pid && WIFEXITED(waited)) {
            status = WEXITSTATUS(waited);
        }
    }
    if (pStatus != nullptr) {
        *pStatus = status;
    }
    return out;
}

// Every entry of a zip archive, concatenated, as unzip extracts them.
inline std::string unzipped(const std::string& archive) {
    int status = -1;
    std::string text = programOutput({"unzip", "-p", archive}, &status);
    EXPECT_EQ(status, 0) << "unzip -p " << archive;
    return text;
}

// The entry names of a zip archive, read by Python's zipfile.
inline std::vector<std::string> zipEntryNames(const std::string& archive) {
    const std::string listing = programOutput(
        {"/usr/bin/python3", "-c",
         "import sys, zipfile\n"
         "for n in zipfile.ZipFile(sys.argv[1]).namelist(): sys.stdout.write(n + '\\0')",
         archive});
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t end = listing.find('\0'); end != std::string::npos;
         start = end + 1, end = listing.find('\0', start)) {
        names.push_back(listing.substr(start, end - start));
    }
    return names;
}

inline std::string gunzipped(const std::string& file) {
    int status = -1;
    std::string bytes = programOutput({"gzip", "-dc", file}, &status);
    EXPECT_EQ(status, 0) << "gzip -dc " << file;
    return bytes;
}

inline std::set<std::string> directoryNames(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// A composite product of one family with nLevels datasets and one field, each level's cell
// (r, c) set by value(level, r, c).
inline rdr::StdProductPtr compositeProduct(const char* szFamily, const char* szField, int ydim,
                                           int xdim, float fGridKm, int nLevels,
                                           const std::function<float(int, int, int)>& value) {
    const auto is = [&](const char* f) { return std::string(szFamily) == f ? nLevels : 0; };
    rdr::StdProductPtr p(
        fnInitStdProduct(1, is("PPI"), is("CAPPI"), is("BASE"), is("CMAX"), is("VIL"), is("ETOP")));
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", ydim, xdim, fGridKm, xdim / 2,
                                     ydim / 2),
              1);
    std::vector<float> cells(static_cast<size_t>(ydim) * xdim);
    for (int k = 0; k < nLevels; ++k) {
        for (int r = 0; r < ydim; ++r) {
            for (int c = 0; c < xdim; ++c) {
                cells[static_cast<size_t>(r) * xdim + c] = value(k, r, c);
            }
        }
        EXPECT_EQ(fnAddStdProductToData(p.get(), szFamily, k, 1.0 + k, 0.0, szField, cells.data(),
                                        ydim, xdim),
                  1);
    }
    return p;
}

// Runs body with writes beyond nBytes failing (EFBIG, the signal ignored) as on a full disk.
inline void withFileSizeLimit(rlim_t nBytes, const std::function<void()>& body) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = nBytes;
    setrlimit(RLIMIT_FSIZE, &tight);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

// A file name a shell would misread in every way: blanks, both quotes, a command separator,
// a command substitution and a newline. Running anything would create "ran".
inline std::string hostileName() {
    return "a b 'c' \"d\"; touch ran $(touch ran)\nx";
}

}  // namespace rdrtest

#endif
