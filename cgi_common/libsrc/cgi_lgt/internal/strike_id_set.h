// The set of NX1 strike identifiers one read has stored: open addressing over a table that
// grows with the read, so that every distinct identifier (negative ones included) is kept
// and a repeated one is always recognised, however many share a hash value.
#ifndef CGI_LGT_INTERNAL_STRIKE_ID_SET_H
#define CGI_LGT_INTERNAL_STRIKE_ID_SET_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lgt_text {

class StrikeIdSet {
  public:
    StrikeIdSet() : slots_(kInitialSlots, kEmpty) {}

    // True when id was not in the set (it is now).
    bool insert(int id) {
        if ((size_ + 1) * 2 > slots_.size()) {
            grow();
        }
        return place(slots_, static_cast<int64_t>(id));
    }
    size_t size() const { return size_; }

  private:
    // Identifiers are 32-bit, so a 64-bit value outside that range marks an empty slot.
    static constexpr int64_t kEmpty = INT64_MIN;
    static constexpr size_t kInitialSlots = 1024;

    static size_t slotOf(int64_t id, size_t mask) {
        // Fibonacci hashing spreads consecutive identifiers over the table.
        return static_cast<size_t>((static_cast<uint64_t>(id) * 0x9E3779B97F4A7C15ULL) >> 20) &
               mask;
    }
    bool place(std::vector<int64_t>& slots, int64_t id) {
        const size_t mask = slots.size() - 1;
        for (size_t i = slotOf(id, mask);; i = (i + 1) & mask) {
            if (slots[i] == id) {
                return false;
            }
            if (slots[i] == kEmpty) {
                slots[i] = id;
                ++size_;
                return true;
            }
        }
    }
    void grow() {
        std::vector<int64_t> bigger(slots_.size() * 2, kEmpty);
        const size_t n = size_;
        size_ = 0;
        for (int64_t id : slots_) {
            if (id != kEmpty) {
                place(bigger, id);
            }
        }
        size_ = n;
        slots_.swap(bigger);
    }

    std::vector<int64_t> slots_;
    size_t size_ = 0;
};

}  // namespace lgt_text

#endif
