#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>

#include "internal/bufr_decoder.h"
#include "internal/bufr_output_encoder.h"

namespace {

// Section lengths and the message length are three-byte numbers.
constexpr std::size_t kMaxMessageBytes = (std::size_t{1} << 24) - 1;
// Our sequences nest three deep; the bound only stops a table that names itself.
constexpr int kMaxSequenceDepth = 16;

class BitWriter {
  public:
    void put(std::uint64_t value, int nBits) {
        for (int i = nBits - 1; i >= 0; --i) {
            if (used_ == 0) {
                bytes_.push_back(0);
            }
            if ((value >> i) & 1U) {
                bytes_.back() |= static_cast<unsigned char>(0x80U >> used_);
            }
            used_ = (used_ + 1) & 7;
        }
    }
    // Whole bytes at a byte boundary go in at once: the compressed grids are most of a
    // message.
    void putByte(unsigned char c) {
        if (used_ == 0) {
            bytes_.push_back(c);
        } else {
            put(c, 8);
        }
    }
    std::size_t size() const { return bytes_.size(); }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
    int used_ = 0;  // bits used in the last byte
};

class DataEncoder {
  public:
    DataEncoder(const BufrTables& tables, const std::vector<double>& values)
        : tables_(tables), values_(values) {}

    bool run(std::span<const int> descriptors, std::string* pWhy) {
        if (!walk(descriptors, 0)) {
            *pWhy = why_;
            return false;
        }
        if (next_ != values_.size()) {
            *pWhy = std::to_string(values_.size() - next_) +
                    " values left over after the last "
                    "descriptor";
            return false;
        }
        return true;
    }
    const BitWriter& bits() const { return bits_; }

  private:
    static std::string name(int fxy) { return bufrDescriptorName(fxy); }

    bool fail(const std::string& why) {
        why_ = why;
        return false;
    }

    bool take(int fxy, double* pValue) {
        if (next_ >= values_.size()) {
            return fail("no value left for " + name(fxy));
        }
        *pValue = values_[next_++];
        return true;
    }

    bool element(int fxy, double* pValue) {
        const BufrElement* e = tables_.element(fxy);
        if (e == nullptr) {
            return fail(name(fxy) + " is not in the tables");
        }
        if (e->bText) {
            for (int c = 0; c < e->iWidth / 8; ++c) {
                double v = 0.0;
                if (!take(fxy, &v)) {
                    return false;
                }
                if (!(v >= 0.0 && v <= 255.0)) {
                    return fail(name(fxy) + " character " + std::to_string(c + 1) +
                                " is not a byte");
                }
                bits_.putByte(static_cast<unsigned char>(v));
            }
            return true;
        }
        // Replication factors and counts (class 31) keep their own width and scale, as the
        // decoder reads them.
        const bool bCount = bufrX(fxy) == 31;
        const int width = e->iWidth + (bCount ? 0 : widthChange_);
        const int scale = e->iScale + (bCount ? 0 : scaleChange_);
        if (width < 1 || width > 63) {
            return fail(name(fxy) + " has a width of " + std::to_string(width) + " bits");
        }
        double v = 0.0;
        if (!take(fxy, &v)) {
            return false;
        }
        if (pValue != nullptr) {
            *pValue = v;
        }
        const std::uint64_t allOnes = (std::uint64_t{1} << width) - 1;
        if (std::isnan(v)) {
            bits_.put(allOnes, width);
            return true;
        }
        // Divided rather than multiplied for negative scales, so that 500 m at scale -1 is
        // exactly 50.
        const double scaled = scale >= 0 ? v * std::pow(10.0, scale) : v / std::pow(10.0, -scale);
        const double raw = std::nearbyint(scaled) - e->iReference;
        if (!(raw >= 0.0 && raw < static_cast<double>(allOnes))) {
            char sz[64];
            std::snprintf(sz, sizeof sz, "%.10g", v);
            return fail(name(fxy) + " cannot hold the value " + sz);
        }
        bits_.put(static_cast<std::uint64_t>(raw), width);
        return true;
    }

    bool walk(std::span<const int> list, int depth) {
        if (depth > kMaxSequenceDepth) {
            return fail("sequences nest more than " + std::to_string(kMaxSequenceDepth) + " deep");
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int fxy = list[i];
            const int f = bufrF(fxy);
            const int x = bufrX(fxy);
            const int y = bufrY(fxy);
            switch (f) {
                case 0:
                    if (!element(fxy, nullptr)) {
                        return false;
                    }
                    break;
                case 1: {
                    std::size_t first = i + 1;
                    double factor = y;
                    if (y == 0) {
                        // Delayed: the factor is the next descriptor's value.
                        if (first >= list.size() || !element(list[first], &factor)) {
                            return why_.empty() ? fail(name(fxy) + " has no factor") : false;
                        }
                        ++first;
                    }
                    if (first + static_cast<std::size_t>(x) > list.size()) {
                        return fail(name(fxy) + " replicates past the end of its list");
                    }
                    const std::span<const int> body = list.subspan(first, x);
                    for (long r = 0; r < static_cast<long>(factor); ++r) {
                        if (!walk(body, depth)) {
                            return false;
                        }
                    }
                    i = first + x - 1;
                    break;
                }
                case 2:
                    if (x == 1) {
                        widthChange_ = y == 0 ? 0 : y - 128;
                    } else if (x == 2) {
                        scaleChange_ = y == 0 ? 0 : y - 128;
                    } else {
                        return fail("operator " + name(fxy) + " is not supported");
                    }
                    break;
                case 3: {
                    const std::vector<int>* seq = tables_.sequence(fxy);
                    if (seq == nullptr) {
                        return fail(name(fxy) + " is not in the tables");
                    }
                    if (!walk(*seq, depth + 1)) {
                        return false;
                    }
                    break;
                }
                default:
                    return fail(name(fxy) + " is not a descriptor");
            }
        }
        return true;
    }

    const BufrTables& tables_;
    const std::vector<double>& values_;
    std::size_t next_ = 0;
    int widthChange_ = 0;
    int scaleChange_ = 0;
    BitWriter bits_;
    std::string why_;
};

void put(std::vector<unsigned char>& out, std::uint64_t value, int nBytes) {
    for (int i = nBytes - 1; i >= 0; --i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

}  // namespace

bool encodeBufrMessage(const BufrIdentification& ident, const std::vector<int>& descriptors,
                       const std::vector<double>& values, const BufrTables& tables,
                       std::vector<unsigned char>* pMessage, std::string* pWhy) {
    DataEncoder data(tables, values);
    if (!data.run(descriptors, pWhy)) {
        return false;
    }
    constexpr std::size_t kSection1 = 22;
    const std::size_t section3 = 7 + 2 * descriptors.size();
    const std::size_t section4 = 4 + data.bits().size();
    const std::size_t total = 8 + kSection1 + section3 + section4 + 4;
    if (total > kMaxMessageBytes) {
        *pWhy = "the message would be " + std::to_string(total) + " bytes, more than BUFR's " +
                std::to_string(kMaxMessageBytes);
        return false;
    }
    std::vector<unsigned char>& out = *pMessage;
    out.clear();
    out.reserve(total);
    out.insert(out.end(), {'B', 'U', 'F', 'R'});
    put(out, total, 3);
    put(out, 4, 1);  // edition

    put(out, kSection1, 3);
    put(out, ident.iMasterTable, 1);
    put(out, ident.iCentre, 2);
    put(out, ident.iSubcentre, 2);
    put(out, ident.iUpdateSequence, 1);
    put(out, 0, 1);  // no optional section
    put(out, ident.iDataCategory, 1);
    put(out, ident.iInternationalSubcategory, 1);
    put(out, ident.iLocalSubcategory, 1);
    put(out, ident.iMasterVersion, 1);
    put(out, ident.iLocalVersion, 1);
    put(out, ident.iYear, 2);
    put(out, ident.iMonth, 1);
    put(out, ident.iDay, 1);
    put(out, ident.iHour, 1);
    put(out, ident.iMinute, 1);
    put(out, ident.iSecond, 1);

    put(out, section3, 3);
    put(out, 0, 1);
    put(out, 1, 2);     // one subset
    put(out, 0x80, 1);  // observed data, not compressed
    for (int fxy : descriptors) {
        put(out, (fxy / 100000) << 14 | (fxy / 1000 % 100) << 8 | fxy % 1000, 2);
    }

    put(out, section4, 3);
    put(out, 0, 1);
    out.insert(out.end(), data.bits().bytes().begin(), data.bits().bytes().end());
    out.insert(out.end(), {'7', '7', '7', '7'});
    return true;
}
