#include "internal/bufr_decoder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxNesting = 64;  // sequences and replications open at once
constexpr uint64_t kBaseStepBudget = 100000;
constexpr int kMaxNumberWidth = 32;

// Big-endian bit reader over section 4.
class BitReader {
  public:
    BitReader(const unsigned char* p, size_t nBits) : m_p(p), m_nBits(nBits) {}

    size_t position() const { return m_pos; }
    size_t left() const { return m_nBits - m_pos; }

    // width 1..32; the caller has checked left() >= width.
    uint32_t read(int width) {
        const size_t byte = m_pos >> 3;
        const int shift = static_cast<int>(m_pos & 7);
        const size_t nBytes = (m_nBits + 7) >> 3;
        uint64_t window = 0;
        if (byte + 8 <= nBytes) {
            std::memcpy(&window, m_p + byte, 8);
            window = __builtin_bswap64(window);
        } else {
            for (size_t i = 0; i < 8; ++i) {
                window = (window << 8) | (byte + i < nBytes ? m_p[byte + i] : 0u);
            }
        }
        m_pos += static_cast<size_t>(width);
        return static_cast<uint32_t>((window << shift) >> (64 - width));
    }

    // n whole bytes from the current bit position; aligned runs point into the section.
    const unsigned char* readBytes(size_t n, std::vector<unsigned char>* pScratch) {
        const size_t byte = m_pos >> 3;
        const int shift = static_cast<int>(m_pos & 7);
        m_pos += n * 8;
        if (shift == 0) {
            return m_p + byte;
        }
        pScratch->resize(n);
        unsigned char* out = pScratch->data();
        const unsigned char* in = m_p + byte;
        // The last byte read is in[n], inside the section because n * 8 + shift bits are.
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<unsigned char>((in[i] << shift) | (in[i + 1] >> (8 - shift)));
        }
        return out;
    }

    void skip(size_t nBits) { m_pos += nBits; }

  private:
    const unsigned char* m_p;
    size_t m_nBits;
    size_t m_pos = 0;
};

// One list of descriptors being walked: the message's, a sequence's or a replicated body.
struct Frame {
    const int* list;
    size_t n;
    size_t i;
    uint32_t repeatsLeft;  // passes still to make after this one
    int sequence;          // the sequence descriptor for leave(), or 0
};

double powerOfTen(int exponent) {
    static const double table[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const int a = exponent < 0 ? -exponent : exponent;
    const double p = a < 23 ? table[a] : std::pow(10.0, a);
    return exponent < 0 ? 1.0 / p : p;
}

class Decoder {
  public:
    Decoder(const BufrMessage& msg, const BufrTables& tables, BufrValueSink& sink,
            std::string* pWhy)
        : m_msg(msg),
          m_tables(tables),
          m_sink(sink),
          m_pWhy(pWhy),
          m_bits(msg.pData, msg.nDataBits),
          m_stepBudget(kBaseStepBudget + 2 * static_cast<uint64_t>(msg.nDataBits)) {}

    bool run() {
        if (m_msg.bCompressed) {
            return fail("compressed subsets are not read");
        }
        if (m_msg.iSubsets < 1) {
            return fail("the message holds no subset");
        }
        if (m_msg.descriptors.empty()) {
            return fail("section 3 lists no descriptor");
        }
        for (int s = 0; s < m_msg.iSubsets; ++s) {
            if (!subset()) {
                return false;
            }
        }
        return true;
    }

  private:
    bool fail(std::string why) {
        *m_pWhy = std::move(why);
        return false;
    }

    bool stopped() { return fail("stopped by the reader"); }

    bool unknown(int iFxy) {
        std::string why = "descriptor " + bufrDescriptorName(iFxy) + " is not in the tables";
        if (!m_tables.localTableMissing().empty()) {
            why += " (no local table " + m_tables.localTableMissing() + ")";
        }
        return fail(why);
    }

    bool truncated(int iFxy) {
        return fail("data section ends inside " + bufrDescriptorName(iFxy) + " at bit " +
                    std::to_string(m_bits.position()));
    }

    bool push(const int* list, size_t n, uint32_t passes, int sequence) {
        if (m_stack.size() >= kMaxNesting) {
            return fail("descriptors nest deeper than " + std::to_string(kMaxNesting));
        }
        if (sequence != 0 && !m_sink.enter(sequence)) {
            return stopped();
        }
        m_stack.push_back(Frame{list, n, 0, passes - 1, sequence});
        return true;
    }

    bool subset() {
        m_widthChange = m_scaleChange = m_textWidth = m_localWidth = 0;
        m_stack.clear();
        if (!push(m_msg.descriptors.data(), m_msg.descriptors.size(), 1, 0)) {
            return false;
        }
        while (!m_stack.empty()) {
            Frame& top = m_stack.back();
            if (top.i == top.n) {
                if (top.repeatsLeft > 0) {
                    --top.repeatsLeft;
                    top.i = 0;
                    continue;
                }
                const int sequence = top.sequence;
                m_stack.pop_back();
                if (sequence != 0 && !m_sink.leave(sequence)) {
                    return stopped();
                }
                continue;
            }
            if (++m_steps > m_stepBudget) {
                return fail("the descriptors ask for more work than the data section can hold");
            }
            const int iFxy = top.list[top.i];
            switch (bufrF(iFxy)) {
                case 0:
                    ++top.i;
                    if (!element(iFxy)) {
                        return false;
                    }
                    break;
                case 1:
                    if (!replication(top)) {
                        return false;
                    }
                    break;
                case 2:
                    ++top.i;
                    if (!operation(iFxy)) {
                        return false;
                    }
                    break;
                default: {
                    ++top.i;
                    const std::vector<int>* pSeq = m_tables.sequence(iFxy);
                    if (pSeq == nullptr) {
                        return unknown(iFxy);
                    }
                    // top may move when the stack grows: nothing of it is used after this.
                    if (!push(pSeq->data(), pSeq->size(), 1, iFxy)) {
                        return false;
                    }
                    break;
                }
            }
        }
        return true;
    }

    // A numeric element as the operators in force make it.
    struct Coding {
        int width, scale, reference;
        bool text;
    };

    Coding codingOf(const BufrElement& e) const {
        if (e.bText) {
            return Coding{m_textWidth > 0 ? m_textWidth : e.iWidth, 0, 0, true};
        }
        return Coding{e.iWidth + m_widthChange, e.iScale + m_scaleChange, e.iReference, false};
    }

    bool element(int iFxy) {
        const BufrElement* e = m_tables.element(iFxy);
        if (m_localWidth > 0) {
            const int width = m_localWidth;
            m_localWidth = 0;
            if (e == nullptr) {  // a local element announced by 2-06: skipped unread
                if (m_bits.left() < static_cast<size_t>(width)) {
                    return truncated(iFxy);
                }
                m_bits.skip(static_cast<size_t>(width));
                return true;
            }
        }
        if (e == nullptr) {
            return unknown(iFxy);
        }
        // Class 31 (replication factors and counts) is never changed by the operators.
        const Coding c = bufrX(iFxy) == 31 ? Coding{e->iWidth, e->iScale, e->iReference, e->bText}
                                           : codingOf(*e);
        if (c.width <= 0 || (!c.text && c.width > kMaxNumberWidth)) {
            return fail("operators leave " + bufrDescriptorName(iFxy) + " a width of " +
                        std::to_string(c.width) + " bits");
        }
        if (m_bits.left() < static_cast<size_t>(c.width)) {
            return truncated(iFxy);
        }
        if (c.text) {
            const unsigned char* p = m_bits.readBytes(static_cast<size_t>(c.width) / 8, &m_scratch);
            return m_sink.text(iFxy, std::string_view(reinterpret_cast<const char*>(p),
                                                      static_cast<size_t>(c.width) / 8)) ||
                   stopped();
        }
        const uint32_t raw = m_bits.read(c.width);
        const bool bMissing = c.width > 1 && raw == (0xffffffffu >> (32 - c.width));
        const double value = (static_cast<double>(raw) + c.reference) * powerOfTen(-c.scale);
        return m_sink.number(iFxy, value, bMissing) || stopped();
    }

    // 1-XX-YYY at top.list[top.i]: X descriptors, Y times, or a delayed factor first.
    bool replication(Frame& top) {
        const int iFxy = top.list[top.i];
        const size_t x = static_cast<size_t>(bufrX(iFxy));
        uint32_t count = static_cast<uint32_t>(bufrY(iFxy));
        size_t body = top.i + 1;
        if (count == 0) {
            if (body >= top.n) {
                return fail("replication " + bufrDescriptorName(iFxy) + " lacks its factor");
            }
            const int factor = top.list[body];
            if (factor != 31000 && factor != 31001 && factor != 31002) {
                return fail("replication " + bufrDescriptorName(iFxy) + " has factor " +
                            bufrDescriptorName(factor) + ", which is not read");
            }
            const BufrElement* e = m_tables.element(factor);
            if (e == nullptr) {
                return unknown(factor);
            }
            if (e->bText || e->iWidth > kMaxNumberWidth ||
                m_bits.left() < static_cast<size_t>(e->iWidth)) {
                return truncated(factor);
            }
            count = m_bits.read(e->iWidth);
            if (!m_sink.number(factor, static_cast<double>(count), false)) {
                return stopped();
            }
            ++body;
        }
        if (x == 0 || body + x > top.n) {
            return fail("replication " + bufrDescriptorName(iFxy) + " reaches past its list");
        }
        top.i = body + x;
        if (count == 0) {
            return true;
        }
        const int* pBody = top.list + body;
        if (x == 1 && bufrF(pBody[0]) == 0 && m_localWidth == 0) {
            const BufrElement* e = m_tables.element(pBody[0]);
            if (e != nullptr && !e->bText && e->iWidth == 8 && e->iScale == 0 &&
                e->iReference == 0 && m_widthChange == 0 && m_scaleChange == 0) {
                if (m_bits.left() / 8 < count) {
                    return truncated(pBody[0]);
                }
                const unsigned char* p = m_bits.readBytes(count, &m_scratch);
                return m_sink.bytes(pBody[0], p, count) || stopped();
            }
        }
        return push(pBody, x, count, 0);
    }

    bool operation(int iFxy) {
        const int x = bufrX(iFxy);
        const int y = bufrY(iFxy);
        switch (x) {
            case 1:
                m_widthChange = y == 0 ? 0 : y - 128;
                return true;
            case 2:
                m_scaleChange = y == 0 ? 0 : y - 128;
                return true;
            case 5: {
                const size_t n = static_cast<size_t>(y);
                if (m_bits.left() / 8 < n) {
                    return truncated(iFxy);
                }
                const unsigned char* p = m_bits.readBytes(n, &m_scratch);
                return m_sink.text(iFxy, std::string_view(reinterpret_cast<const char*>(p), n)) ||
                       stopped();
            }
            case 6:
                m_localWidth = y;
                return true;
            case 8:
                m_textWidth = 8 * y;
                return true;
            default:
                return fail("operator " + bufrDescriptorName(iFxy) + " is not read");
        }
    }

    const BufrMessage& m_msg;
    const BufrTables& m_tables;
    BufrValueSink& m_sink;
    std::string* m_pWhy;
    BitReader m_bits;
    std::vector<Frame> m_stack;
    std::vector<unsigned char> m_scratch;
    uint64_t m_steps = 0;
    uint64_t m_stepBudget;
    int m_widthChange = 0;
    int m_scaleChange = 0;
    int m_textWidth = 0;
    int m_localWidth = 0;
};

}  // namespace

bool BufrValueSink::bytes(int iFxy, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!number(iFxy, p[i], p[i] == 255)) {
            return false;
        }
    }
    return true;
}

bool decodeBufrData(const BufrMessage& msg, const BufrTables& tables, BufrValueSink& sink,
                    std::string* pWhy) {
    if (msg.pData == nullptr && msg.nDataBits != 0) {
        *pWhy = "no data section";
        return false;
    }
    Decoder decoder(msg, tables, sink, pWhy);
    return decoder.run();
}

std::string bufrDescriptorName(int iFxy) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "%d-%02d-%03d", bufrF(iFxy), bufrX(iFxy), bufrY(iFxy));
    return sz;
}
