#include "uf_words.h"

#include <stdexcept>

#include "uf_bytes.h"

namespace ufwords {

namespace {

// Word `pos` (1-based) of a record; out_of_range when the record is shorter.
int word(const ufbytes::Bytes& record, int pos) {
    if (pos < 1) {
        throw std::runtime_error("UF position before the record start");
    }
    return ufbytes::wordAt(record, pos);
}

std::string chars(const ufbytes::Bytes& record, int pos) {
    const unsigned w = static_cast<unsigned short>(word(record, pos));
    return {static_cast<char>(w >> 8), static_cast<char>(w & 0xff)};
}

float sixtyFourths(const ufbytes::Bytes& record, int pos) {
    return static_cast<float>(word(record, pos) * 0.015625);
}

Ray decodeRay(const ufbytes::Bytes& record) {
    Ray ray;
    ray.azimuth = sixtyFourths(record, 33);
    if (ray.azimuth < 0) {
        ray.azimuth += 360;
    }
    ray.fixedAngle = sixtyFourths(record, 36);
    ray.noData = word(record, 45);
    const int dataHeader = word(record, 5);
    const int fields = word(record, dataHeader);
    if (fields < 0 || fields > 14) {
        throw std::runtime_error("UF field count out of range");
    }
    for (int i = 0; i < fields; ++i) {
        Field f;
        f.name = chars(record, dataHeader + 3 + 2 * i);
        const int header = word(record, dataHeader + 4 + 2 * i);
        const int dataPos = word(record, header);
        f.scale = word(record, header + 1);
        f.startKm = word(record, header + 2);
        f.startM = word(record, header + 3);
        f.spacingM = word(record, header + 4);
        const int bins = word(record, header + 5);
        f.beamWidthH = sixtyFourths(record, header + 7);
        f.beamWidthV = sixtyFourths(record, header + 8);
        if (bins < 0) {
            throw std::runtime_error("UF negative bin count");
        }
        f.bins.reserve(bins);
        for (int b = 0; b < bins; ++b) {
            f.bins.push_back(static_cast<short>(word(record, dataPos + b)));
        }
        ray.fields.push_back(std::move(f));
    }
    return ray;
}

}  // namespace

const Field* Ray::field(const std::string& name) const {
    for (const Field& f : fields) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

bool Ray::value(const std::string& name, int bin, float* out) const {
    const Field* f = field(name);
    if (f == nullptr || bin < 0 || bin >= static_cast<int>(f->bins.size()) || f->scale == 0) {
        return false;
    }
    const short stored = f->bins[bin];
    if (stored == -32768 || stored == noData) {
        return false;
    }
    *out = static_cast<float>(stored) / static_cast<float>(f->scale);
    return true;
}

Volume decodeFourFramed(const std::string& path) {
    Volume volume;
    bool first = true;
    for (const ufbytes::Bytes& record : ufbytes::splitFourFramed(ufbytes::readAll(path))) {
        if (chars(record, 1) != "UF") {
            throw std::runtime_error("record without UF mark in " + path);
        }
        const int sweep = word(record, 10);
        if (first) {
            volume.antennaHeightM = word(record, 25);
            first = false;
        }
        if (volume.sweeps.empty() || volume.sweeps.back().number != sweep) {
            volume.sweeps.push_back(Sweep{sweep, {}});
        }
        volume.sweeps.back().rays.push_back(decodeRay(record));
    }
    return volume;
}

}  // namespace ufwords
