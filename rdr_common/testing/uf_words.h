// A reading of UF volumes written by other software that shares nothing with the library's
// UF reader, for checking products of real files against the file itself. The records of a
// stream framed by 32-bit counts and trailers (plain or gzip) are decoded word by word:
// mandatory header, data header, field headers and the stored bins.
//
//   ufwords::Volume v = ufwords::decodeFourFramed(path);
//   const ufwords::Field* dz = v.sweeps[0].rays[0].field("DZ");
#ifndef RDR_TESTING_UF_WORDS_H
#define RDR_TESTING_UF_WORDS_H

#include <string>
#include <vector>

namespace ufwords {

struct Field {
    std::string name;  // two characters
    int scale = 0;
    int startKm = 0;
    int startM = 0;
    int spacingM = 0;
    float beamWidthH = 0;  // degrees
    float beamWidthV = 0;
    std::vector<short> bins;

    // Start of the first bin in km.
    double startKmTotal() const { return startKm + startM / 1000.0; }
};

struct Ray {
    float azimuth = 0;  // degrees, 0 to 360
    float fixedAngle = 0;
    int noData = 0;  // word 45
    std::vector<Field> fields;

    const Field* field(const std::string& name) const;
    // Physical value of a bin (stored / scale), false for no data or a bin beyond the field.
    bool value(const std::string& name, int bin, float* out) const;
};

struct Sweep {
    int number = 0;  // word 10
    std::vector<Ray> rays;
};

struct Volume {
    int antennaHeightM = 0;
    std::vector<Sweep> sweeps;  // in file order; a new sweep starts where word 10 changes
};

// Throws std::runtime_error (or std::out_of_range) on a record whose positions leave it.
Volume decodeFourFramed(const std::string& path);

}  // namespace ufwords

#endif
