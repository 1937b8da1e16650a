// Test fixtures: forecast files written from a closed-form function of lead, row and column,
// in the two layouts the forecast readers take.
//
// - Very-short-range forecast: one grid per hour of lead (grid g holds lead g x 60 minutes),
//   each nDataYdim rows of nDataXdim big-endian int16, the southern row first.
// - MAPLE: a 104-byte header, then fields of 1024 x 1024 little-endian float32 (rows of 1024
//   values), one per 10 minutes of lead. A field is 4 MiB and a file of 37 fields about
//   150 MiB, so the writer can leave fields out: written plain, the missing fields are holes
//   of a sparse file (reading as 0.0); gzip-compressed, they are written as zeros.
#ifndef CGI_COMP_TESTING_COMPOSITE_FORECAST_WRITER_H
#define CGI_COMP_TESTING_COMPOSITE_FORECAST_WRITER_H

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace comp_test {

constexpr int kMapleSide = 1024;
constexpr long kMapleHeaderBytes = 104;
constexpr long kMapleFieldBytes = 4L * kMapleSide * kMapleSide;

// Writes bytes to path, gzip-compressed (level 1) or plain. False when anything failed.
inline bool writeForecastBytes(const std::string& path, const std::vector<unsigned char>& bytes,
                               bool bGzip) {
    if (!bGzip) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const bool ok =
            ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        return ::close(fd) == 0 && ok;
    }
    gzFile gz = gzopen(path.c_str(), "wb1");
    if (gz == nullptr) {
        return false;
    }
    const bool ok =
        bytes.empty() || gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                             static_cast<int>(bytes.size());
    return gzclose(gz) == Z_OK && ok;
}

// value(grid, fileRow, column): fileRow 0 is the southern row, the first in the file.
using VsrfValue = std::function<int16_t(int, int, int)>;

// The bytes of a forecast file of nGrids grids; nTruncate > 0 drops that many bytes at the
// end (a file cut short).
inline std::vector<unsigned char> vsrfBytes(int nDataXdim, int nDataYdim, int nGrids,
                                            const VsrfValue& value, long nTruncate = 0) {
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<size_t>(nGrids) * nDataXdim * nDataYdim * 2);
    for (int g = 0; g < nGrids; ++g) {
        for (int r = 0; r < nDataYdim; ++r) {
            for (int c = 0; c < nDataXdim; ++c) {
                const auto u = static_cast<uint16_t>(value(g, r, c));
                bytes.push_back(static_cast<unsigned char>(u >> 8));
                bytes.push_back(static_cast<unsigned char>(u & 0xFF));
            }
        }
    }
    bytes.resize(bytes.size() - static_cast<size_t>(std::min<long>(nTruncate, bytes.size())));
    return bytes;
}

inline bool writeVsrfFile(const std::string& path, int nDataXdim, int nDataYdim, int nGrids,
                          const VsrfValue& value, bool bGzip = true, long nTruncate = 0) {
    return writeForecastBytes(path, vsrfBytes(nDataXdim, nDataYdim, nGrids, value, nTruncate),
                              bGzip);
}

// value(fieldRow, fieldColumn) of one MAPLE field; row 0 is the first in the file.
using MapleValue = std::function<float(int, int)>;

inline void appendMapleField(std::vector<unsigned char>& bytes, const MapleValue& value) {
    const size_t start = bytes.size();
    bytes.resize(start + static_cast<size_t>(kMapleFieldBytes));
    unsigned char* p = bytes.data() + start;
    for (int r = 0; r < kMapleSide; ++r) {
        for (int c = 0; c < kMapleSide; ++c) {
            const float v = value(r, c);
            uint32_t u;
            std::memcpy(&u, &v, 4);
            for (int i = 0; i < 4; ++i) {
                *p++ = static_cast<unsigned char>(u >> (8 * i));
            }
        }
    }
}

// A MAPLE file of nFields fields; fields[k] gives the values of field k, and the fields not
// given hold 0.0. bGzip false writes a sparse plain file (only the given fields take space).
inline bool writeMapleFile(const std::string& path, int nFields,
                           const std::map<int, MapleValue>& fields, bool bGzip = false) {
    if (bGzip) {
        gzFile gz = gzopen(path.c_str(), "wb1");
        if (gz == nullptr) {
            return false;
        }
        bool ok = true;
        std::vector<unsigned char> header(kMapleHeaderBytes, 0);
        ok = gzwrite(gz, header.data(), static_cast<unsigned>(header.size())) ==
             static_cast<int>(header.size());
        const MapleValue zero = [](int, int) { return 0.0f; };
        for (int k = 0; ok && k < nFields; ++k) {
            std::vector<unsigned char> field;
            const auto it = fields.find(k);
            appendMapleField(field, it != fields.end() ? it->second : zero);
            ok = gzwrite(gz, field.data(), static_cast<unsigned>(field.size())) ==
                 static_cast<int>(field.size());
        }
        return gzclose(gz) == Z_OK && ok;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = ::ftruncate(fd, kMapleHeaderBytes + nFields * kMapleFieldBytes) == 0;
    for (const auto& [k, value] : fields) {
        if (!ok || k < 0 || k >= nFields) {
            continue;
        }
        std::vector<unsigned char> field;
        appendMapleField(field, value);
        ok = ::pwrite(fd, field.data(), field.size(), kMapleHeaderBytes + k * kMapleFieldBytes) ==
             static_cast<ssize_t>(field.size());
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace comp_test

#endif
