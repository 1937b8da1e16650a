// Reads the bytes an isolated decoding child handed back: every read is checked against
// what is left, so a short or damaged hand-over is a refusal, never an overrun.
#ifndef RDR_HAND_OVER_READER_H
#define RDR_HAND_OVER_READER_H

#include <cstddef>
#include <cstring>

class HandOverReader {
  public:
    HandOverReader(const unsigned char* pBytes, std::size_t nBytes) : p_(pBytes), left_(nBytes) {}

    std::size_t left() const { return left_; }

    // Copies the next n bytes to pOut; false when fewer are left.
    bool take(void* pOut, std::size_t n) {
        const unsigned char* p = view(n);
        if (p == nullptr) {
            return false;
        }
        if (n > 0) {
            std::memcpy(pOut, p, n);
        }
        return true;
    }

    bool skip(std::size_t n) { return view(n) != nullptr; }

    // The next n bytes where they stand, skipped over; null when fewer are left.
    const unsigned char* view(std::size_t n) {
        if (n > left_) {
            return nullptr;
        }
        const unsigned char* p = p_;
        p_ += n;
        left_ -= n;
        return p;
    }

  private:
    const unsigned char* p_;
    std::size_t left_;
};

#endif
