// Every value of a decoded BUFR message kept in order, grouped by the top-level descriptor
// it came from, for readers that take a message apart sequence by sequence. Texts and
// byte runs are kept in two shared buffers, so the byte runs of one compressed array lie
// end to end.
#ifndef RDR_BUFR_VALUE_LIST_H
#define RDR_BUFR_VALUE_LIST_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "internal/bufr_decoder.h"

struct BufrValue {
    enum class Kind : unsigned char { kNumber, kText, kBytes };
    Kind kind;
    bool bMissing;
    int iFxy;
    double dValue;  // numbers
    size_t offset;  // texts and byte runs: where in their buffer
    size_t size;
};

class BufrValueList : public BufrValueSink {
  public:
    // A top-level descriptor of section 3 and its values [first, end).
    struct Group {
        int iFxy;
        size_t first;
        size_t end;
    };

    bool number(int iFxy, double dValue, bool bMissing) override;
    bool text(int iFxy, std::string_view text) override;
    bool bytes(int iFxy, const unsigned char* p, size_t n) override;
    bool enter(int iFxy) override;
    bool leave(int iFxy) override;

    // Room for n bytes of byte runs, so that long runs are kept without regrowth.
    void reserveBytes(size_t n) { m_bytes.reserve(n); }

    const std::vector<Group>& groups() const { return m_groups; }
    const BufrValue& operator[](size_t i) const { return m_values[i]; }
    size_t size() const { return m_values.size(); }
    std::string_view textOf(const BufrValue& v) const {
        return std::string_view(m_chars).substr(v.offset, v.size);
    }
    const unsigned char* bytesOf(const BufrValue& v) const { return m_bytes.data() + v.offset; }

  private:
    void openGroup(int iFxy);

    std::vector<BufrValue> m_values;
    std::vector<Group> m_groups;
    std::string m_chars;
    std::vector<unsigned char> m_bytes;
    int m_depth = 0;
};

#endif
