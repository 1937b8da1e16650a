#include "uf_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace ufbytes {

namespace {

constexpr int kMandatoryWords = 45;
constexpr int kOptionalWords = 14;
constexpr int kDataHeaderWords = 3;  // before the name and position pairs
constexpr int kMaxRecordWords = 32767;

int fieldHeaderWords(const std::string& name) {
    if (isVelocity(name)) {
        return 21;
    }
    return name == "DM" ? 25 : 19;
}

// The words of one record being written; every value is checked against its word.
class RecordWords {
  public:
    explicit RecordWords(int words) : bytes_(2 * static_cast<std::size_t>(words), 0) {}

    void put(int pos, double value, const char* what) {
        if (!(value >= -32768 && value <= 32767)) {
            std::ostringstream os;
            os << "UF test writer: " << what << " " << value << " does not fit word " << pos;
            throw std::invalid_argument(os.str());
        }
        setWordAt(bytes_, pos, static_cast<int>(value));
    }
    void put64(int pos, double value, const char* what) {
        put(pos, static_cast<double>(std::lround(value * 64)), what);
    }
    void putScaled(int pos, double value, int scaleFactor, const char* what) {
        put(pos, static_cast<double>(std::lround(value * scaleFactor)), what);
    }
    void text(int pos, int words, const std::string& s, const char* what) {
        if (s.size() > 2 * static_cast<std::size_t>(words)) {
            throw std::invalid_argument(std::string("UF test writer: ") + what + " \"" + s +
                                        "\" is longer than " + std::to_string(2 * words) +
                                        " characters");
        }
        raw(pos, Bytes(s.begin(), s.end()));
    }
    void raw(int pos, const Bytes& content) {
        std::copy(content.begin(), content.end(), bytes_.begin() + 2 * (pos - 1));
    }
    Bytes take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

void putDate(RecordWords& w, int pos, const Date& d) {
    w.put(pos, d.year, "year");
    w.put(pos + 1, d.month, "month");
    w.put(pos + 2, d.day, "day");
}

void putTime(RecordWords& w, int pos, const TimeOfDay& t) {
    w.put(pos, t.hour, "hour");
    w.put(pos + 1, t.minute, "minute");
    w.put(pos + 2, t.second, "second");
}

void putDms(RecordWords& w, int pos, const Dms& a) {
    w.put(pos, a.degrees, "degrees");
    w.put(pos + 1, a.minutes, "minutes");
    w.put64(pos + 2, a.seconds, "seconds");
}

void putFieldHeader(RecordWords& w, int pos, int dataPos, const Field& f) {
    w.put(pos, dataPos, "data position");
    w.put(pos + 1, f.scaleFactor, "scale factor");
    w.put(pos + 2, f.startKm, "start range km");
    w.put(pos + 3, f.startM, "start range m");
    w.put(pos + 4, f.spacingM, "bin spacing");
    w.put(pos + 5, static_cast<double>(f.bins.size()), "bin count");
    w.put(pos + 6, f.pulseWidthM, "pulse width");
    w.put64(pos + 7, f.beamWidthH, "horizontal beam width");
    w.put64(pos + 8, f.beamWidthV, "vertical beam width");
    w.put(pos + 9, f.bandwidth, "bandwidth");
    w.put(pos + 10, f.polarisation, "polarisation");
    w.put64(pos + 11, f.wavelength, "wavelength");
    w.put(pos + 12, f.sampleSize, "sample size");
    w.text(pos + 13, 1, f.thresholdName, "threshold field");
    w.put(pos + 14, f.thresholdValue, "threshold value");
    w.put(pos + 15, f.scale, "scale");
    w.text(pos + 16, 1, f.editCode, "edit code");
    w.put(pos + 17, f.prtUs, "PRT");
    w.put(pos + 18, f.bitsPerBin, "bits per bin");
    if (isVelocity(f.name)) {
        w.putScaled(pos + 19, f.nyquist, f.scaleFactor, "Nyquist velocity");
        w.text(pos + 20, 1, f.velocityFlag, "velocity flag");
    } else if (f.name == "DM") {
        const Calibration& c = f.calibration;
        w.put64(pos + 19, c.radarConstant, "radar constant");
        w.putScaled(pos + 20, c.noisePower, f.scaleFactor, "noise power");
        w.putScaled(pos + 21, c.receiverGain, f.scaleFactor, "receiver gain");
        w.putScaled(pos + 22, c.peakPower, f.scaleFactor, "peak power");
        w.putScaled(pos + 23, c.antennaGain, f.scaleFactor, "antenna gain");
        w.put64(pos + 24, c.pulseDurationUs, "pulse duration");
    }
}

// Word `pos` of a record, 0 outside it: names positions of records that may be damaged.
int wordOrZero(const Bytes& record, int pos) {
    if (pos < 1 || 2 * static_cast<std::size_t>(pos) > record.size()) {
        return 0;
    }
    return wordAt(record, pos);
}

std::string chars(const Bytes& record, int pos) {
    const unsigned w = static_cast<unsigned short>(wordOrZero(record, pos));
    std::string s{static_cast<char>(w >> 8), static_cast<char>(w & 0xff)};
    return s.substr(0, s.find('\0'));
}

// Where word `pos` stands in a record laid out by its own header positions.
std::string wordName(const Bytes& record, int pos) {
    auto in = [pos](int first, int count) { return pos >= first && pos < first + count; };
    auto named = [pos](const std::string& part, int first) {
        return part + " word " + std::to_string(pos - first + 1);
    };
    if (pos <= kMandatoryWords) {
        return named("mandatory header", 1);
    }
    const int oh = wordOrZero(record, 3);
    const int lh = wordOrZero(record, 4);
    const int dh = wordOrZero(record, 5);
    const int fields = wordOrZero(record, dh);
    if (oh != lh && in(oh, kOptionalWords)) {
        return named("optional header", oh);
    }
    if (in(lh, dh - lh)) {
        return named("local-use header", lh);
    }
    if (in(dh, kDataHeaderWords + 2 * fields)) {
        return named("data header", dh);
    }
    for (int i = 0; i < fields; ++i) {
        const std::string name = chars(record, dh + 3 + 2 * i);
        const int fh = wordOrZero(record, dh + 4 + 2 * i);
        const int data = wordOrZero(record, fh);
        if (in(fh, data - fh)) {
            return named("field " + name + " header", fh);
        }
        if (in(data, wordOrZero(record, fh + 5))) {
            return "field " + name + " bin " + std::to_string(pos - data);
        }
    }
    return "outside every header";
}

}  // namespace

Dms toDms(double degrees) {
    const double sign = degrees < 0 ? -1 : 1;
    long sixtyFourths = std::lround(std::fabs(degrees) * 3600 * 64);
    Dms dms;
    dms.degrees = static_cast<int>(sign * (sixtyFourths / (3600 * 64)));
    sixtyFourths %= 3600 * 64;
    dms.minutes = static_cast<int>(sign * (sixtyFourths / (60 * 64)));
    dms.seconds = sign * static_cast<double>(sixtyFourths % (60 * 64)) / 64;
    return dms;
}

bool isVelocity(const std::string& fieldName) {
    return fieldName == "VF" || fieldName == "VE" || fieldName == "VR" || fieldName == "VT" ||
           fieldName == "VP";
}

Bytes writeRecord(const Volume& volume, const Sweep& sweep, const Ray& ray) {
    if (ray.localUse.size() % 2 != 0) {
        throw std::invalid_argument("UF test writer: local-use bytes must fill whole words");
    }
    const int nFields = static_cast<int>(ray.fields.size());
    const int ohPos = kMandatoryWords + 1;
    const int lhPos = ohPos + (ray.hasOptionalHeader ? kOptionalWords : 0);
    const int dhPos = lhPos + static_cast<int>(ray.localUse.size() / 2);
    long total = dhPos - 1 + kDataHeaderWords + 2L * nFields;
    std::vector<int> fieldPos;
    for (const Field& f : ray.fields) {
        fieldPos.push_back(static_cast<int>(std::min<long>(total + 1, kMaxRecordWords)));
        total += fieldHeaderWords(f.name) + static_cast<long>(f.bins.size());
    }
    if (total > kMaxRecordWords) {
        throw std::invalid_argument("UF test writer: a record of " + std::to_string(total) +
                                    " words, more than positions can address");
    }

    RecordWords w(static_cast<int>(total));
    w.text(1, 1, "UF", "mark");
    w.put(2, static_cast<double>(total), "record length");
    w.put(3, ohPos, "optional header position");
    w.put(4, lhPos, "local-use header position");
    w.put(5, dhPos, "data header position");
    w.put(6, ray.recordNumber, "record number");
    w.put(7, volume.volumeNumber, "volume number");
    w.put(8, ray.rayNumber, "ray number");
    w.put(9, 1, "record in ray");
    w.put(10, sweep.number, "sweep number");
    w.text(11, 4, volume.radarName, "radar name");
    w.text(15, 4, volume.siteName, "site name");
    putDms(w, 19, volume.latitude);
    putDms(w, 22, volume.longitude);
    w.put(25, volume.heightM, "antenna height");
    putDate(w, 26, ray.date);
    putTime(w, 29, ray.time);
    w.text(32, 1, volume.timeZone, "time zone");
    w.put64(33, ray.azimuth, "azimuth");
    w.put64(34, ray.elevation, "elevation");
    w.put(35, sweep.mode, "sweep mode");
    w.put64(36, sweep.fixedAngle, "fixed angle");
    w.put64(37, sweep.rate, "sweep rate");
    putDate(w, 38, volume.generated);
    w.text(41, 4, volume.generator, "generating facility");
    w.put(45, volume.noData, "missing-data value");

    if (ray.hasOptionalHeader) {
        const OptionalHeader& o = volume.optional;
        w.text(ohPos, 4, o.project, "project");
        w.put64(ohPos + 4, o.baselineAzimuth, "baseline azimuth");
        w.put64(ohPos + 5, o.baselineElevation, "baseline elevation");
        putTime(w, ohPos + 6, o.scanStart);
        w.text(ohPos + 9, 4, o.tapeName, "tape name");
        w.put(ohPos + 13, o.flag, "flag");
    }
    w.raw(lhPos, ray.localUse);

    w.put(dhPos, nFields, "field count");
    w.put(dhPos + 1, 1, "records in ray");
    w.put(dhPos + 2, nFields, "fields in record");
    for (int i = 0; i < nFields; ++i) {
        const Field& f = ray.fields[i];
        const int dataPos = fieldPos[i] + fieldHeaderWords(f.name);
        w.text(dhPos + 3 + 2 * i, 1, f.name, "field name");
        w.put(dhPos + 4 + 2 * i, fieldPos[i], "field header position");
        putFieldHeader(w, fieldPos[i], dataPos, f);
        for (std::size_t b = 0; b < f.bins.size(); ++b) {
            w.put(dataPos + static_cast<int>(b), f.bins[b], "bin");
        }
    }
    return w.take();
}

std::vector<Bytes> writeRecords(const Volume& volume) {
    std::vector<Bytes> records;
    for (const Sweep& sweep : volume.sweeps) {
        for (const Ray& ray : sweep.rays) {
            records.push_back(writeRecord(volume, sweep, ray));
        }
    }
    return records;
}

Volume smallVolume(int sweeps, int rays, int bins) {
    Volume v;
    v.volumeNumber = 7;
    v.radarName = "RDRTEST1";
    v.siteName = "GWANAK";
    v.latitude = toDms(37.4375);     // 37 26' 15"
    v.longitude = toDms(126.96875);  // 126 58' 7.5"
    v.heightM = 635;
    v.generated = {2024, 7, 16};
    v.generator = "UFBYTES";
    v.noData = -32768;
    v.optional = {"SUMMER", 0.25, 0.5, {6, 30, 5}, "TAPE01", 3};
    int number = 0;
    for (int s = 0; s < sweeps; ++s) {
        Sweep sweep;
        sweep.number = s + 1;
        sweep.mode = 1;
        sweep.fixedAngle = 0.5 + s;
        sweep.rate = 18.0;
        for (int r = 0; r < rays; ++r) {
            Ray ray;
            ++number;
            ray.recordNumber = number;
            ray.rayNumber = number;
            ray.date = {2024, 7, 15};
            ray.time = {6, 30 + s, r % 60};
            ray.azimuth = std::fmod(0.5 + r * 360.0 / rays, 360.0);
            ray.elevation = sweep.fixedAngle + 0.015625;
            for (const char* name : {"DZ", "VR"}) {
                Field f;
                f.name = name;
                f.scaleFactor = 100;
                f.startKm = 2;
                f.startM = -125;
                f.spacingM = 500;
                f.pulseWidthM = 300;
                f.beamWidthH = 0.953125;
                f.beamWidthV = 0.96875;
                f.bandwidth = 1000;
                f.polarisation = 1;
                f.wavelength = 10.6875;
                f.sampleSize = 64;
                f.thresholdName = "SQ";
                f.thresholdValue = 35;
                f.scale = 10;
                f.editCode = "NE";
                f.prtUs = 1000;
                f.bitsPerBin = 16;
                const bool velocity = isVelocity(name);
                if (velocity) {
                    f.nyquist = 26.5;
                    f.velocityFlag = "NF";
                }
                for (int b = 0; b < bins; ++b) {
                    short value = velocity ? short((r * 31 + b * 3) % 5000 - 2500)
                                           : short((s * 100 + r * 7 + b) % 7000 - 1000);
                    f.bins.push_back((r + b) % 17 == 0 ? short(-32768) : value);
                }
                ray.fields.push_back(std::move(f));
            }
            sweep.rays.push_back(std::move(ray));
        }
        v.sweeps.push_back(std::move(sweep));
    }
    return v;
}

// ---- words, framings, files ---------------------------------------------------------

int wordAt(const Bytes& record, int pos) {
    const std::size_t i = 2 * static_cast<std::size_t>(pos - 1);
    return static_cast<short>((record.at(i) << 8) | record.at(i + 1));
}

void setWordAt(Bytes& record, int pos, int value) {
    const std::size_t i = 2 * static_cast<std::size_t>(pos - 1);
    const auto v = static_cast<unsigned short>(value);
    record.at(i) = static_cast<unsigned char>(v >> 8);
    record.at(i + 1) = static_cast<unsigned char>(v & 0xff);
}

const char* framingName(Framing framing) {
    switch (framing) {
        case Framing::zero:
            return "unframed";
        case Framing::two:
            return "2-byte framing";
        case Framing::four:
            return "4-byte framing";
        case Framing::fourNoTrailer:
            return "4-byte framing without trailers";
    }
    return "?";
}

Bytes frameRecords(const std::vector<Bytes>& records, Framing framing) {
    Bytes out;
    auto put16 = [&out](std::size_t v) {
        out.push_back((v >> 8) & 0xff);
        out.push_back(v & 0xff);
    };
    auto put32 = [&](std::size_t v) {
        put16((v >> 16) & 0xffff);
        put16(v & 0xffff);
    };
    for (const Bytes& r : records) {
        if (framing == Framing::two) {
            put16(r.size());
        } else if (framing == Framing::four || framing == Framing::fourNoTrailer) {
            put32(r.size());
        }
        out.insert(out.end(), r.begin(), r.end());
        if (framing == Framing::two) {
            put16(r.size());
        } else if (framing == Framing::four) {
            put32(r.size());
        }
    }
    return out;
}

std::vector<Bytes> splitFourFramed(const Bytes& stream) {
    std::vector<Bytes> records;
    std::size_t pos = 0;
    while (pos + 4 <= stream.size()) {
        const std::size_t count = (std::size_t(stream[pos]) << 24) | (stream[pos + 1] << 16) |
                                  (stream[pos + 2] << 8) | stream[pos + 3];
        if (pos + 4 + count > stream.size()) {
            break;  // a cut-off last record
        }
        records.emplace_back(stream.begin() + pos + 4, stream.begin() + pos + 4 + count);
        pos += 4 + count + 4;
    }
    return records;
}

Bytes readAll(const std::string& path) {
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    Bytes bytes;
    unsigned char chunk[1 << 16];
    int n = 0;
    while ((n = gzread(in, chunk, sizeof(chunk))) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    gzclose(in);
    if (n < 0) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

void writeBytes(const std::string& path, const Bytes& bytes, bool gzip) {
    gzFile out = gzopen(path.c_str(), gzip ? "wb" : "wbT");
    if (out == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    const int n =
        bytes.empty() ? 0 : gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size()));
    if (gzclose(out) != Z_OK || n != static_cast<int>(bytes.size())) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string firstDifference(const std::vector<Bytes>& a, const std::vector<Bytes>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t r = 0; r < common; ++r) {
        const int wordsA = static_cast<int>(a[r].size() / 2);
        const int wordsB = static_cast<int>(b[r].size() / 2);
        const std::string record = "record " + std::to_string(r + 1);
        for (int pos = 1; pos <= std::min(wordsA, wordsB); ++pos) {
            const int x = wordAt(a[r], pos);
            const int y = wordAt(b[r], pos);
            if (x != y) {
                return record + " word " + std::to_string(pos) + " (" + wordName(a[r], pos) +
                       "): " + std::to_string(x) + " != " + std::to_string(y);
            }
        }
        if (a[r].size() != b[r].size()) {
            return record + ": " + std::to_string(a[r].size()) +
                   " != " + std::to_string(b[r].size()) + " bytes";
        }
    }
    if (a.size() != b.size()) {
        return "records: " + std::to_string(a.size()) + " != " + std::to_string(b.size());
    }
    return "";
}

}  // namespace ufbytes
