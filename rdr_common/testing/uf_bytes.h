// UF bytes for tests, written from the format's own description and sharing nothing with
// the library: a record writer working from a plain description of a volume, the record
// framings, files plain or gzip, and a word-by-word comparison of record streams. Reader
// tests load what this writer wrote, so a word the library's encoder and reader both put
// in the wrong place cannot pass unseen.
//
//   ufbytes::Volume v = ufbytes::smallVolume(2, 8, 20);
//   v.sweeps[0].rays[1].fields[0].bins[3] = 1234;
//   std::vector<ufbytes::Bytes> records = ufbytes::writeRecords(v);
//   ufbytes::writeBytes(file, ufbytes::frameRecords(records, ufbytes::Framing::two), true);
//
// Layout of a written record: the 45-word mandatory header, the 14-word optional header
// when the ray has one, the local-use words, the data header (3 words and a name and
// header position per field), then each field's header followed by its bins. A field
// header is 19 words, 21 for velocity fields (Nyquist velocity and flag) and 25 for "DM"
// (calibration). Text shorter than its words is padded with NUL bytes, so that it reads
// back as given.
#ifndef RDR_TESTING_UF_BYTES_H
#define RDR_TESTING_UF_BYTES_H

#include <string>
#include <vector>

namespace ufbytes {

using Bytes = std::vector<unsigned char>;

// A latitude or longitude as UF stores it: degrees, minutes and seconds in 64ths, each
// part carrying the sign of the angle.
struct Dms {
    int degrees = 0;
    int minutes = 0;
    double seconds = 0;
};
Dms toDms(double degrees);

struct Date {
    int year = 0;  // written as given: four digits, or two for the old files' convention
    int month = 0;
    int day = 0;
};

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Words 20 to 25 of a "DM" field header.
struct Calibration {
    double radarConstant = 0;  // in 64ths
    double noisePower = 0;     // the others × the field's scale factor
    double receiverGain = 0;
    double peakPower = 0;
    double antennaGain = 0;
    double pulseDurationUs = 0;  // in 64ths
};

struct Field {
    std::string name;       // two characters
    int scaleFactor = 100;  // physical value = stored / scale factor
    int startKm = 0;
    int startM = 0;
    int spacingM = 1000;
    int pulseWidthM = 0;
    double beamWidthH = 0;  // degrees, in 64ths
    double beamWidthV = 0;
    int bandwidth = 0;
    int polarisation = 0;
    double wavelength = 0;  // in 64ths
    int sampleSize = 0;
    std::string thresholdName;  // two characters
    int thresholdValue = 0;
    int scale = 0;         // word 16
    std::string editCode;  // two characters
    int prtUs = 0;
    int bitsPerBin = 16;
    double nyquist = 0;        // velocity fields, m/s × scale factor in word 20
    std::string velocityFlag;  // velocity fields, word 21
    Calibration calibration;   // "DM" only
    std::vector<short> bins;
};

// Velocity fields carry words 20 and 21.
bool isVelocity(const std::string& fieldName);

struct Ray {
    int recordNumber = 1;  // word 6
    int rayNumber = 1;     // word 8
    Date date;
    TimeOfDay time;
    double azimuth = 0;  // degrees, in 64ths
    double elevation = 0;
    bool hasOptionalHeader = true;  // the volume's optional header, in this record
    Bytes localUse;                 // the local-use words as raw bytes (an even count)
    std::vector<Field> fields;
};

struct Sweep {
    int number = 1;  // word 10
    int mode = 1;
    double fixedAngle = 0;  // degrees, in 64ths
    double rate = 0;        // degrees per second, in 64ths
    std::vector<Ray> rays;
};

struct OptionalHeader {
    std::string project;         // eight characters
    double baselineAzimuth = 0;  // in 64ths
    double baselineElevation = 0;
    TimeOfDay scanStart;
    std::string tapeName;  // eight characters
    int flag = 0;
};

// What every record of the volume shares, and its sweeps.
struct Volume {
    int volumeNumber = 1;
    std::string radarName;  // eight characters
    std::string siteName;
    Dms latitude;
    Dms longitude;
    int heightM = 0;
    std::string timeZone = "UT";
    Date generated;
    std::string generator;  // eight characters
    int noData = -32768;
    OptionalHeader optional;
    std::vector<Sweep> sweeps;
};

// One record per ray, sweeps in order. Throws std::invalid_argument for what no record can
// hold: a value outside its 16-bit word, text longer than its words, an odd count of
// local-use bytes, a record longer than the 32767 words its positions can address.
std::vector<Bytes> writeRecords(const Volume& volume);
Bytes writeRecord(const Volume& volume, const Sweep& sweep, const Ray& ray);

// A small volume: sweeps x rays x bins of DZ and VR, values a function of position with
// some bins at the no-data value -32768, every header word filled with a value of its own.
// Rays are numbered through the volume; VR carries a Nyquist velocity of 26.5 m/s.
Volume smallVolume(int sweeps, int rays, int bins);

// ---- words, framings, files ---------------------------------------------------------

// Big-endian 16-bit word at a 1-based word position of a record.
int wordAt(const Bytes& record, int pos);
void setWordAt(Bytes& record, int pos, int value);

enum class Framing {
    zero,           // records back to back
    two,            // 16-bit byte count, record, 16-bit trailer
    four,           // 32-bit byte count, record, 32-bit trailer
    fourNoTrailer,  // 32-bit byte count, record
};
inline constexpr Framing kFramings[] = {Framing::zero, Framing::two, Framing::four,
                                        Framing::fourNoTrailer};
const char* framingName(Framing framing);

Bytes frameRecords(const std::vector<Bytes>& records, Framing framing);
// Records of a stream framed by 32-bit counts with 32-bit trailers (the sample files).
std::vector<Bytes> splitFourFramed(const Bytes& stream);

// Whole file, decompressed when it is gzip (zlib passes plain files through).
Bytes readAll(const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes, bool gzip = false);

// First word where two record streams differ, named by where it stands in record a
// ("record 3 word 52 (field VR header word 2): 100 != 10"); "" when they are equal.
std::string firstDifference(const std::vector<Bytes>& a, const std::vector<Bytes>& b);

}  // namespace ufbytes

#endif
