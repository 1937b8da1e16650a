// Test support: writes synthetic UF volume files for the site engine's tests, byte by byte,
// with values given as a function of sweep, azimuth and range. It knows only the UF record
// layout; it shares nothing with the radar core's writers (the two libraries never link
// into one program).
#ifndef CGI_SITE_TESTING_UF_WRITER_H
#define CGI_SITE_TESTING_UF_WRITER_H

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace site_test {

enum class Framing { None, Fortran, Padded };

struct UfLayout {
    std::vector<std::string> fields{"DZ"};
    std::vector<float> elevations{0.5f};  // one per sweep
    std::vector<int> sweepNumbers;        // default 1, 2, ...
    int raysPerSweep = 360;
    float firstAzimuth = 0.0f;
    float azimuthStep = 1.0f;
    int gates = 100;
    int gateM = 1000;
    int firstGateKm = 0;
    int adjToCenterM = 0;
    int scale = 100;
    int deleted = -32768;
    float beamH = 1.0f;
    float beamV = 1.0f;
    int latDeg = 37, latMin = 26, latSec64 = 64 * 30;
    int lonDeg = 126, lonMin = 57, lonSec64 = 0;
    int heightM = 150;
    Framing framing = Framing::Fortran;
    // Physical value of a bin; NaN writes the deleted code. Range is the bin's start
    // distance in metres (first gate plus k gates).
    std::function<float(int sweep, float azimuth, double rangeM, const std::string& field)> value =
        [](int, float, double, const std::string&) { return 10.0f; };
};

struct UfFile {
    std::vector<unsigned char> bytes;
    std::vector<size_t> recordStarts;  // byte offset of each record's "UF"
};

inline void putWord(std::vector<unsigned char>& b, size_t wordPos1, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    b[2 * (wordPos1 - 1)] = static_cast<unsigned char>(u >> 8);
    b[2 * (wordPos1 - 1) + 1] = static_cast<unsigned char>(u & 0xff);
}

inline void putName(std::vector<unsigned char>& b, size_t wordPos1, const std::string& s) {
    b[2 * (wordPos1 - 1)] = static_cast<unsigned char>(s.size() > 0 ? s[0] : ' ');
    b[2 * (wordPos1 - 1) + 1] = static_cast<unsigned char>(s.size() > 1 ? s[1] : ' ');
}

inline int toCode(float v, int scale, int deleted) {
    if (std::isnan(v)) {
        return deleted;
    }
    const double c = std::round(static_cast<double>(v) * scale);
    return static_cast<int>(c < -32767 ? -32767 : (c > 32767 ? 32767 : c));
}

inline std::vector<unsigned char> encodeRay(const UfLayout& layout, int sweep, int ray) {
    const int nFields = static_cast<int>(layout.fields.size());
    const int dataHeader = 46;
    int pos = dataHeader + 3 + 2 * nFields;
    std::vector<int> fieldHeader(static_cast<size_t>(nFields));
    std::vector<int> dataStart(static_cast<size_t>(nFields));
    for (int f = 0; f < nFields; ++f) {
        fieldHeader[f] = pos;
        pos += 19 + (layout.fields[f] == "VR" ? 2 : 0);
        dataStart[f] = pos;
        pos += layout.gates;
    }
    const int nWords = pos - 1;
    std::vector<unsigned char> b(2 * static_cast<size_t>(nWords), 0);
    const float az = std::fmod(layout.firstAzimuth + layout.azimuthStep * ray + 720.0f, 360.0f);
    const int sweepNumber = sweep < static_cast<int>(layout.sweepNumbers.size())
                                ? layout.sweepNumbers[sweep]
                                : sweep + 1;
    putName(b, 1, "UF");
    putWord(b, 2, nWords);
    putWord(b, 3, dataHeader);
    putWord(b, 4, dataHeader);
    putWord(b, 5, dataHeader);
    putWord(b, 6, 1);
    putWord(b, 7, 1);
    putWord(b, 8, ray + 1);
    putWord(b, 9, 1);
    putWord(b, 10, sweepNumber);
    for (int w = 11; w <= 18; ++w) {
        putName(b, w, "TS");
    }
    putWord(b, 19, layout.latDeg);
    putWord(b, 20, layout.latMin);
    putWord(b, 21, layout.latSec64);
    putWord(b, 22, layout.lonDeg);
    putWord(b, 23, layout.lonMin);
    putWord(b, 24, layout.lonSec64);
    putWord(b, 25, layout.heightM);
    putWord(b, 26, 12);
    putWord(b, 27, 7);
    putWord(b, 28, 1);
    putWord(b, 29, 6);
    putName(b, 32, "UT");
    putWord(b, 33, static_cast<int>(std::lround(az * 64.0)));
    putWord(b, 34, static_cast<int>(std::lround(layout.elevations[sweep] * 64.0)));
    putWord(b, 35, 1);
    putWord(b, 36, static_cast<int>(std::lround(layout.elevations[sweep] * 64.0)));
    putWord(b, 45, layout.deleted);
    putWord(b, dataHeader, nFields);
    putWord(b, dataHeader + 1, 1);
    putWord(b, dataHeader + 2, nFields);
    for (int f = 0; f < nFields; ++f) {
        putName(b, dataHeader + 3 + 2 * f, layout.fields[f]);
        putWord(b, dataHeader + 4 + 2 * f, fieldHeader[f]);
        const int h = fieldHeader[f];
        putWord(b, h, dataStart[f]);
        putWord(b, h + 1, layout.scale);
        putWord(b, h + 2, layout.firstGateKm);
        putWord(b, h + 3, layout.adjToCenterM);
        putWord(b, h + 4, layout.gateM);
        putWord(b, h + 5, layout.gates);
        putWord(b, h + 7, static_cast<int>(std::lround(layout.beamH * 64.0)));
        putWord(b, h + 8, static_cast<int>(std::lround(layout.beamV * 64.0)));
        putWord(b, h + 18, 16);
        if (layout.fields[f] == "VR") {
            putWord(b, h + 19, 27 * layout.scale);  // Nyquist velocity 27 m/s
        }
        for (int k = 0; k < layout.gates; ++k) {
            const double rangeM = layout.firstGateKm * 1000.0 + layout.adjToCenterM +
                                  static_cast<double>(k) * layout.gateM;
            putWord(b, dataStart[f] + k,
                    toCode(layout.value(sweep, az, rangeM, layout.fields[f]), layout.scale,
                           layout.deleted));
        }
    }
    return b;
}

inline UfFile encodeUf(const UfLayout& layout) {
    UfFile out;
    auto lengthWord = [&](size_t n) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.bytes.push_back(static_cast<unsigned char>((n >> shift) & 0xff));
        }
    };
    for (int s = 0; s < static_cast<int>(layout.elevations.size()); ++s) {
        for (int r = 0; r < layout.raysPerSweep; ++r) {
            const std::vector<unsigned char> rec = encodeRay(layout, s, r);
            if (layout.framing != Framing::None) {
                lengthWord(rec.size());
            }
            out.recordStarts.push_back(out.bytes.size());
            out.bytes.insert(out.bytes.end(), rec.begin(), rec.end());
            if (layout.framing != Framing::None) {
                lengthWord(rec.size());
            }
            if (layout.framing == Framing::Padded) {
                out.bytes.insert(out.bytes.end(), 2, 0);
            }
        }
    }
    return out;
}

inline bool writeBytes(const std::string& path, const std::vector<unsigned char>& bytes,
                       bool gzip = false) {
    if (gzip) {
        gzFile f = gzopen(path.c_str(), "wb");
        if (f == nullptr) {
            return false;
        }
        const bool ok =
            bytes.empty() || gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size())) > 0;
        return gzclose(f) == Z_OK && ok;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace site_test

#endif
