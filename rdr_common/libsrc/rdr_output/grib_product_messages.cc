// Hand-over layout, in native byte order (both ends are the same program): "GRIBPRD" and
// a version byte, the message count as i64, then per message its numbers as i64, its
// texts as an i64 length and the characters, prodpar as a count and doubles, values as a
// count and floats.
#include "internal/grib_product_messages.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core_utilities.h"
#include "internal/eccodes_library.h"
#include "internal/grib_product_keys.h"
#include "internal/hand_over_reader.h"

const char* const kGribProductNumberKeys[kGribProductNumberCount] = {
    "rdr_xscale",       "rdr_yscale",      "rdr_LL_Longitude",   "rdr_LL_Latitude",
    "rdr_UL_Longitude", "rdr_UL_Latitude", "rdr_UR_Longitude",   "rdr_UR_Latitude",
    "rdr_LR_Longitude", "rdr_LR_Latitude", "rdr_site_longitude", "rdr_site_latitude"};

namespace {

constexpr const char* kLoad = "fnLoadGribProduct";
constexpr unsigned char kMagic[8] = {'G', 'R', 'I', 'B', 'P', 'R', 'D', 1};
// More than the local section can count (two octets), so no message of ours has more.
constexpr std::int64_t kMaxMessages = 0x10000;
constexpr std::int64_t kMaxProdpar = 2 * 0xffff;
constexpr std::size_t kMaxText = 4096;

struct HandleDeleter {
    void operator()(codes_handle* h) const { ec().handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

class ByteWriter {
  public:
    void number(std::int64_t v) { raw(&v, sizeof v); }
    void text(const std::string& s) {
        number(static_cast<std::int64_t>(s.size()));
        raw(s.data(), s.size());
    }
    void raw(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
};

class ByteReader : public HandOverReader {
  public:
    using HandOverReader::HandOverReader;
    bool number(long* pOut) {
        std::int64_t v = 0;
        if (!take(&v, sizeof v)) {
            return false;
        }
        *pOut = static_cast<long>(v);
        return true;
    }
    bool count(std::int64_t max, std::size_t* pOut) {
        std::int64_t v = 0;
        if (!take(&v, sizeof v) || v < 0 || v > max) {
            return false;
        }
        *pOut = static_cast<std::size_t>(v);
        return true;
    }
    bool text(std::string* pOut) {
        std::size_t n = 0;
        const unsigned char* p = nullptr;
        if (!count(kMaxText, &n) || (p = view(n)) == nullptr) {
            return false;
        }
        pOut->assign(reinterpret_cast<const char*>(p), n);
        return true;
    }
};

// Reads the keys of one message; false with the reason (the message is not one of ours, or
// a key is missing or unreadable).
class KeyReader {
  public:
    explicit KeyReader(codes_handle* h) : h_(h) {}
    bool number(const char* key, long* pOut) { return check(key, ec().get_long(h_, key, pOut)); }
    bool text(const char* key, std::string* pOut) {
        char buf[kMaxText + 1] = "";
        std::size_t n = sizeof buf;
        if (!check(key, ec().get_string(h_, key, buf, &n))) {
            return false;
        }
        buf[kMaxText] = '\0';
        *pOut = buf;
        return true;
    }
    bool doubles(const char* key, std::size_t max, std::vector<double>* pOut) {
        std::size_t n = 0;
        if (!check(key, ec().get_size(h_, key, &n))) {
            return false;
        }
        if (n > max) {
            why_ = std::string(key) + " holds " + std::to_string(n) + " values, more than " +
                   std::to_string(max);
            return false;
        }
        pOut->resize(n);
        return n == 0 || check(key, ec().get_double_array(h_, key, pOut->data(), &n));
    }
    const std::string& why() const { return why_; }

  private:
    bool check(const char* key, int err) {
        if (err != CODES_SUCCESS) {
            why_ = std::string(key) + ": " + ec().get_error_message(err);
            return false;
        }
        return true;
    }
    codes_handle* h_;
    std::string why_;
};

bool readMessage(codes_handle* h, GribProductMessage* pOut, std::string* pWhy) {
    KeyReader k(h);
    GribProductMessage& m = *pOut;
    long localSection = 0;
    if (!k.number("centre", &m.centre) || m.centre != kGribProductCentre ||
        ec().is_defined(h, "grib2LocalSectionNumber") == 0 ||
        !k.number("grib2LocalSectionNumber", &localSection) ||
        localSection != kGribProductLocalSection || ec().is_defined(h, "rdr_product") == 0) {
        *pWhy = "it carries no radar product keys of this system (centre " +
                std::to_string(m.centre) + ", local section " + std::to_string(localSection) + ")";
        return false;
    }
    std::vector<double> values;
    const bool ok =
        k.number("year", &m.year) && k.number("month", &m.month) && k.number("day", &m.day) &&
        k.number("hour", &m.hour) && k.number("minute", &m.minute) &&
        k.number("second", &m.second) && k.number("siteLatitude", &m.siteLatitude) &&
        k.number("siteLongitude", &m.siteLongitude) &&
        k.number("siteElevation", &m.siteElevation) && k.number("rdr_xsize", &m.xsize) &&
        k.number("rdr_ysize", &m.ysize) && k.number("rdr_max_product", &m.maxProduct) &&
        k.number("rdr_max_data", &m.maxData) && k.number("numberOfPointsAlongXAxis", &m.nx) &&
        k.number("numberOfPointsAlongYAxis", &m.ny) && k.text("rdr_product", &m.product) &&
        k.text("rdr_projdef", &m.projdef) && k.text("rdr_quantity", &m.quantity) &&
        k.text("rdr_site_name", &m.siteName) && k.text("rdr_task", &m.task) &&
        k.text("rdr_system", &m.system) && k.text("rdr_comp_method", &m.compMethod) &&
        k.text("rdr_nyquist_velocity", &m.nyquist) &&
        k.doubles("rdr_prodpar", static_cast<std::size_t>(kMaxProdpar), &m.prodpar);
    if (!ok) {
        *pWhy = k.why();
        return false;
    }
    for (int i = 0; i < kGribProductNumberCount; ++i) {
        if (!k.text(kGribProductNumberKeys[i], &m.numbers[i])) {
            *pWhy = k.why();
            return false;
        }
    }
    if (!k.doubles("values", static_cast<std::size_t>(kGribProductMaxValues), &values)) {
        *pWhy = k.why();
        return false;
    }
    m.values.assign(values.begin(), values.end());
    return true;
}

void writeMessage(const GribProductMessage& m, ByteWriter& out) {
    for (long v : {m.centre, m.year, m.month, m.day, m.hour, m.minute, m.second, m.siteLatitude,
                   m.siteLongitude, m.siteElevation, m.xsize, m.ysize, m.maxProduct, m.maxData,
                   m.nx, m.ny}) {
        out.number(v);
    }
    for (const std::string* t : {&m.product, &m.projdef, &m.quantity, &m.siteName, &m.task,
                                 &m.system, &m.compMethod, &m.nyquist}) {
        out.text(*t);
    }
    for (const std::string& n : m.numbers) {
        out.text(n);
    }
    out.number(static_cast<std::int64_t>(m.prodpar.size()));
    out.raw(m.prodpar.data(), m.prodpar.size() * sizeof(double));
    out.number(static_cast<std::int64_t>(m.values.size()));
    out.raw(m.values.data(), m.values.size() * sizeof(float));
}

bool readMessageBack(ByteReader& in, GribProductMessage* pOut) {
    GribProductMessage& m = *pOut;
    for (long* p : {&m.centre, &m.year, &m.month, &m.day, &m.hour, &m.minute, &m.second,
                    &m.siteLatitude, &m.siteLongitude, &m.siteElevation, &m.xsize, &m.ysize,
                    &m.maxProduct, &m.maxData, &m.nx, &m.ny}) {
        if (!in.number(p)) {
            return false;
        }
    }
    for (std::string* t : {&m.product, &m.projdef, &m.quantity, &m.siteName, &m.task, &m.system,
                           &m.compMethod, &m.nyquist}) {
        if (!in.text(t)) {
            return false;
        }
    }
    for (std::string& n : m.numbers) {
        if (!in.text(&n)) {
            return false;
        }
    }
    std::size_t n = 0;
    if (!in.count(kMaxProdpar, &n) || n * sizeof(double) > in.left()) {
        return false;
    }
    m.prodpar.resize(n);
    if (!in.take(m.prodpar.data(), n * sizeof(double))) {
        return false;
    }
    if (!in.count(kGribProductMaxValues, &n) || n * sizeof(float) > in.left()) {
        return false;
    }
    m.values.resize(n);
    return in.take(m.values.data(), n * sizeof(float));
}

}  // namespace

IsolatedVerdict decodeGribProductMessages(const std::vector<unsigned char>& bytes,
                                          const std::vector<GribMessageSpan>& spans,
                                          IsolatedOutput& output) {
    try {
        ByteWriter out;
        out.raw(kMagic, sizeof kMagic);
        out.number(static_cast<std::int64_t>(spans.size()));
        for (std::size_t i = 0; i < spans.size(); ++i) {
            Handle h(ec().handle_new_from_message(nullptr, bytes.data() + spans[i].offset,
                                                  spans[i].length));
            GribProductMessage m;
            std::string why = "ecCodes cannot decode it";
            if (!h || !readMessage(h.get(), &m, &why)) {
                rdrError(kLoad, ("GRIB message " + std::to_string(i + 1) +
                                 " is not a product of this system (" + why + ")")
                                    .c_str());
                return IsolatedVerdict::kRefused;
            }
            writeMessage(m, out);
        }
        return output.write(out.bytes().data(), out.bytes().size()) ? IsolatedVerdict::kDecoded
                                                                    : IsolatedVerdict::kRefused;
    } catch (const std::bad_alloc&) {
        return IsolatedVerdict::kOutOfMemory;
    }
}

bool readGribProductMessages(const unsigned char* pBytes, std::size_t nBytes,
                             std::vector<GribProductMessage>* pMessages, std::string* pWhy) {
    ByteReader in(pBytes, nBytes);
    unsigned char magic[sizeof kMagic];
    std::size_t n = 0;
    if (!in.take(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
        !in.count(kMaxMessages, &n)) {
        *pWhy = "no message list";
        return false;
    }
    pMessages->clear();
    pMessages->resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!readMessageBack(in, &(*pMessages)[i])) {
            *pWhy = "message " + std::to_string(i + 1) + " cut short";
            return false;
        }
    }
    if (in.left() != 0) {
        *pWhy = "bytes after the last message";
        return false;
    }
    return true;
}
