// The classic header walk: the layout is the netCDF classic format's (big-endian; counts of
// 4 bytes, 8 in CDF-5; data offsets of 4 bytes in CDF-1, 8 in CDF-2 and CDF-5). Nothing is
// allocated from a count before the count is checked against the bytes left in the file.
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "internal/netcdf_volume_input_classic.h"

namespace {

constexpr std::uint32_t kTagDimension = 0x0A;
constexpr std::uint32_t kTagVariable = 0x0B;
constexpr std::uint32_t kTagAttribute = 0x0C;
// Names longer than this are cut in messages.
constexpr std::size_t kNameInMessage = 64;

// Size in bytes of a classic type, or 0 for a type the version does not have.
std::uint64_t typeSize(std::uint32_t type, int version) {
    switch (type) {
        case 1:  // byte
        case 2:  // char
            return 1;
        case 3:  // short
            return 2;
        case 4:  // int
        case 5:  // float
            return 4;
        case 6:  // double
            return 8;
        case 7:  // CDF-5: ubyte, ushort, uint, int64, uint64
            return version == 5 ? 1 : 0;
        case 8:
            return version == 5 ? 2 : 0;
        case 9:
            return version == 5 ? 4 : 0;
        case 10:
        case 11:
            return version == 5 ? 8 : 0;
        default:
            return 0;
    }
}

bool multiply(std::uint64_t a, std::uint64_t b, std::uint64_t* pProduct) {
    return !__builtin_mul_overflow(a, b, pProduct);
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// Reads the header front to back through pread, a block at a time.
class HeaderCursor {
  public:
    HeaderCursor(int fd, std::uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}

    std::uint64_t remaining() const { return fileSize_ - offset_; }

    // n (at most 8) bytes as a big-endian number; false past the end of the file.
    bool number(std::size_t n, std::uint64_t* pValue) {
        unsigned char bytes[8];
        if (!read(bytes, n)) {
            return false;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < n; i++) {
            value = (value << 8) | bytes[i];
        }
        *pValue = value;
        return true;
    }

    // n bytes, kept up to nKeep of them in *pText.
    bool text(std::uint64_t n, std::size_t nKeep, std::string* pText) {
        const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(n, nKeep));
        pText->resize(keep);
        return read(pText->data(), keep) && skip(n - keep);
    }

    bool skip(std::uint64_t n) {
        if (n > remaining()) {
            return false;
        }
        offset_ += n;
        return true;
    }

  private:
    bool read(void* pOut, std::size_t n) {
        if (n > remaining()) {
            return false;
        }
        if (offset_ < blockStart_ || offset_ + n > blockStart_ + block_.size()) {
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining(), kBlock));
            block_.resize(std::max(want, n));
            blockStart_ = offset_;
            if (!preadAll(block_.data(), block_.size(), offset_)) {
                block_.clear();
                return false;
            }
        }
        std::memcpy(pOut, block_.data() + (offset_ - blockStart_), n);
        offset_ += n;
        return true;
    }

    bool preadAll(unsigned char* p, std::size_t n, std::uint64_t at) {
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;  // shorter than it was a moment ago, or unreadable
            }
            p += got;
            at += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    static constexpr std::uint64_t kBlock = 1 << 16;
    int fd_;
    std::uint64_t fileSize_;
    std::uint64_t offset_ = 0;
    std::vector<unsigned char> block_;
    std::uint64_t blockStart_ = 0;
};

class ClassicHeaderCheck {
  public:
    ClassicHeaderCheck(int fd, std::uint64_t fileSize, std::string* pWhy)
        : cursor_(fd, fileSize), fileSize_(fileSize), why_(pWhy) {}

    bool run() {
        std::uint64_t magic = 0;
        if (!cursor_.number(4, &magic) || (magic >> 8) != 0x434446 /* "CDF" */) {
            return fail("no classic signature");
        }
        version_ = static_cast<int>(magic & 0xff);
        if (version_ != 1 && version_ != 2 && version_ != 5) {
            return fail("unknown classic version " + std::to_string(version_));
        }
        countBytes_ = version_ == 5 ? 8 : 4;
        offsetBytes_ = version_ == 1 ? 4 : 8;
        std::uint64_t numRecs = 0;
        if (!cursor_.number(countBytes_, &numRecs)) {
            return ends("record count");
        }
        // All ones: written while streaming; libnetcdf derives the count from the file size.
        const std::uint64_t streaming = version_ == 5 ? ~std::uint64_t{0} : 0xffffffffu;
        numRecs_ = numRecs == streaming ? 0 : numRecs;
        if (numRecs_ > fileSize_) {
            return fail("it declares " + std::to_string(numRecs_) +
                        " records, more than a file of " + std::to_string(fileSize_) +
                        " bytes holds");
        }
        return dimensions() && attributes("the file") && variables();
    }

  private:
    bool fail(const std::string& why) {
        *why_ = why;
        return false;
    }

    bool ends(const std::string& where) { return fail("the header ends inside the " + where); }

    // A list's tag and element count. An absent list is two zeros. minEntry is the fewest
    // bytes one entry takes, so the count is checked before any entry is read.
    bool list(std::uint32_t tag, const char* what, std::uint64_t minEntry, std::uint64_t* pCount) {
        std::uint64_t found = 0;
        if (!cursor_.number(4, &found) || !cursor_.number(countBytes_, pCount)) {
            return ends(std::string(what) + " list");
        }
        if (found == 0 && *pCount == 0) {
            return true;
        }
        if (found != tag) {
            return fail("the " + std::string(what) + " list has the wrong tag");
        }
        if (*pCount > cursor_.remaining() / minEntry) {
            return fail("it declares " + std::to_string(*pCount) + " " + what + "s in " +
                        std::to_string(cursor_.remaining()) + " remaining bytes");
        }
        return true;
    }

    // The name of "a dimension", "an attribute", "a variable"; kept for messages with
    // anything but printable ASCII shown as '?'.
    bool name(const char* what, std::string* pName) {
        std::uint64_t length = 0;
        if (!cursor_.number(countBytes_, &length)) {
            return ends("name of " + std::string(what));
        }
        const std::uint64_t padded = (length + 3) & ~std::uint64_t{3};
        if (length > cursor_.remaining() || !cursor_.text(padded, kNameInMessage, pName)) {
            return fail("the name of " + std::string(what) + " (" + std::to_string(length) +
                        " bytes) runs past the end of the file");
        }
        // libnetcdf copies names into its callers' NC_MAX_NAME + 1 bytes without a bound.
        if (length > NC_MAX_NAME) {
            return fail("the name of " + std::string(what) + " (" + std::to_string(length) +
                        " bytes) is longer than netCDF allows (" + std::to_string(NC_MAX_NAME) +
                        ")");
        }
        pName->resize(std::min<std::size_t>(pName->size(), static_cast<std::size_t>(length)));
        for (char& c : *pName) {
            if (c < 0x20 || c > 0x7e) {
                c = '?';
            }
        }
        return true;
    }

    bool dimensions() {
        std::uint64_t count = 0;
        if (!list(kTagDimension, "dimension", 4 + countBytes_ * 2, &count)) {
            return false;
        }
        for (std::uint64_t d = 0; d < count; d++) {
            std::string dimName;
            std::uint64_t length = 0;
            if (!name("a dimension", &dimName)) {
                return false;
            }
            if (!cursor_.number(countBytes_, &length)) {
                return ends("dimension " + quoted(dimName));
            }
            if (length > fileSize_) {
                return fail("dimension " + quoted(dimName) + " has length " +
                            std::to_string(length) + ", more than the file's " +
                            std::to_string(fileSize_) + " bytes");
            }
            dimLengths_.push_back(length);  // 0: the record dimension
        }
        return true;
    }

    bool attributes(const std::string& owner) {
        std::uint64_t count = 0;
        if (!list(kTagAttribute, "attribute", 4 + countBytes_ * 2, &count)) {
            return false;
        }
        for (std::uint64_t a = 0; a < count; a++) {
            std::string attName;
            std::uint64_t type = 0;
            std::uint64_t nValues = 0;
            if (!name("an attribute", &attName)) {
                return false;
            }
            const std::string which = "attribute " + quoted(attName) + " of " + owner;
            if (!cursor_.number(4, &type) || !cursor_.number(countBytes_, &nValues)) {
                return ends(which);
            }
            const std::uint64_t size = typeSize(static_cast<std::uint32_t>(type), version_);
            if (size == 0) {
                return fail(which + " has unknown type " + std::to_string(type));
            }
            std::uint64_t bytes = 0;
            if (!multiply(nValues, size, &bytes) || bytes > cursor_.remaining() ||
                !cursor_.skip((bytes + 3) & ~std::uint64_t{3})) {
                return fail(which + " declares " + std::to_string(nValues) +
                            " values, more than the file holds");
            }
        }
        return true;
    }

    bool variables() {
        std::uint64_t count = 0;
        // name, dimension count, absent attribute list, type, size, offset
        const std::uint64_t minEntry =
            countBytes_ * 2 + 4 + countBytes_ + 4 + countBytes_ + offsetBytes_;
        if (!list(kTagVariable, "variable", minEntry, &count)) {
            return false;
        }
        for (std::uint64_t v = 0; v < count; v++) {
            if (!variable()) {
                return false;
            }
        }
        return recordsInside();
    }

    bool variable() {
        std::string varName;
        if (!name("a variable", &varName)) {
            return false;
        }
        const std::string which = "variable " + quoted(varName);
        std::uint64_t nDims = 0;
        if (!cursor_.number(countBytes_, &nDims)) {
            return ends(which);
        }
        if (nDims > cursor_.remaining() / countBytes_) {
            return fail(which + " declares " + std::to_string(nDims) +
                        " dimensions, more than the file holds");
        }
        if (nDims > NC_MAX_VAR_DIMS) {
            return fail(which + " has " + std::to_string(nDims) +
                        " dimensions, more than netCDF allows (" + std::to_string(NC_MAX_VAR_DIMS) +
                        ")");
        }
        bool isRecord = false;
        std::uint64_t values = 1;  // per record, for a record variable
        for (std::uint64_t i = 0; i < nDims; i++) {
            std::uint64_t dimId = 0;
            if (!cursor_.number(countBytes_, &dimId)) {
                return ends(which);
            }
            if (dimId >= dimLengths_.size()) {
                return fail(which + " uses dimension " + std::to_string(dimId) +
                            " of a file that has " + std::to_string(dimLengths_.size()));
            }
            const std::uint64_t length = dimLengths_[static_cast<std::size_t>(dimId)];
            if (length == 0) {
                if (i != 0) {
                    return fail(which + " has the record dimension in place " +
                                std::to_string(i + 1));
                }
                isRecord = true;
            } else if (!multiply(values, length, &values)) {
                return fail(which + " is larger than any file");
            }
        }
        if (!attributes(which)) {
            return false;
        }
        std::uint64_t type = 0;
        std::uint64_t declaredSize = 0;
        std::uint64_t begin = 0;
        if (!cursor_.number(4, &type) || !cursor_.number(countBytes_, &declaredSize) ||
            !cursor_.number(offsetBytes_, &begin)) {
            return ends(which);
        }
        const std::uint64_t size = typeSize(static_cast<std::uint32_t>(type), version_);
        if (size == 0) {
            return fail(which + " has unknown type " + std::to_string(type));
        }
        // The size is computed from the dimensions, as libnetcdf does, not taken from the
        // header (where it saturates for large variables).
        std::uint64_t bytes = 0;
        if (!multiply(values, size, &bytes)) {
            return fail(which + " is larger than any file");
        }
        if (isRecord) {
            records_.push_back({which, begin, bytes});  // checked once the record size is known
            return true;
        }
        return inside(which, begin, bytes);
    }

    bool inside(const std::string& which, std::uint64_t begin, std::uint64_t bytes) {
        std::uint64_t end = 0;
        if (__builtin_add_overflow(begin, bytes, &end) || end > fileSize_) {
            return fail(which + " needs " + std::to_string(bytes) + " bytes from offset " +
                        std::to_string(begin) + ", but the file has " + std::to_string(fileSize_));
        }
        return true;
    }

    // Records interleave the record variables, each padded to 4 bytes, except that a lone
    // record variable is not padded. Every record variable's last record must be present,
    // or libnetcdf would hand back zeros for the missing bytes.
    bool recordsInside() {
        if (numRecs_ == 0 || records_.empty()) {
            return true;
        }
        std::uint64_t recordSize = 0;
        for (const RecordVariable& r : records_) {
            const std::uint64_t padded =
                records_.size() == 1 ? r.bytes : (r.bytes + 3) & ~std::uint64_t{3};
            if (__builtin_add_overflow(recordSize, padded, &recordSize)) {
                return fail("the record is larger than any file");
            }
        }
        for (const RecordVariable& r : records_) {
            std::uint64_t bytes = 0;
            if (!multiply(numRecs_ - 1, recordSize, &bytes) ||
                __builtin_add_overflow(bytes, r.bytes, &bytes)) {
                return fail(r.which + " is larger than any file");
            }
            if (!inside(r.which, r.begin, bytes)) {
                return false;
            }
        }
        return true;
    }

    struct RecordVariable {
        std::string which;
        std::uint64_t begin;
        std::uint64_t bytes;  // one record's worth
    };

    HeaderCursor cursor_;
    std::uint64_t fileSize_;
    std::string* why_;
    int version_ = 0;
    std::size_t countBytes_ = 4;
    std::size_t offsetBytes_ = 4;
    std::uint64_t numRecs_ = 0;
    std::vector<std::uint64_t> dimLengths_;
    std::vector<RecordVariable> records_;
};

}  // namespace

bool isNcClassicSignature(const unsigned char* pHead, std::size_t nHead) {
    return nHead >= 4 && std::memcmp(pHead, "CDF", 3) == 0 &&
           (pHead[3] == 1 || pHead[3] == 2 || pHead[3] == 5);
}

bool checkNcClassicHeader(int fd, std::uint64_t fileSize, std::string* pWhy) {
    std::string why;
    ClassicHeaderCheck check(fd, fileSize, &why);
    const bool ok = check.run();
    if (!ok && pWhy != nullptr) {
        *pWhy = why;
    }
    return ok;
}
