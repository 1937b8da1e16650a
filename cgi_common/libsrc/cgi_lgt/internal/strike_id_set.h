// The set of NX1 strike identifiers one read has stored: open addressing over a table that
// grows with the read, so that every distinct identifier (negative ones included) is kept
// and a repeated one is always recognised, however many share a hash value.
#ifndef CGI_LGT_INTERNAL_STRIKE_ID_SET_H
#define CGI_LGT_INTERNAL_STRIKE_ID_SET_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lgt_text {

class StrikeIdSet {
  public:
    StrikeIdSet() : slots_(kInitialSlots, kEmpty) {}

    // True when id was not in the set (it is now).
    bool insert(int id) {
        if (id == kEmpty) {
            // The one identifier that marks an empty slot is kept aside.
            const bool fresh = !haveEmptyId_;
            haveEmptyId_ = true;
            size_ += fresh;
            return fresh;
        }
        if ((size_ + 1) * 2 > slots_.size()) {
            grow();
        }
        return place(slots_, id);
    }
    size_t size() const { return size_; }

  private:
    static constexpr int32_t kEmpty = INT32_MIN;
    static constexpr size_t kInitialSlots = 1024;

    // A full 32-bit mix, so that no pattern of identifiers crowds one part of the table.
    static size_t slotOf(int32_t id, size_t mask) {
        auto x = static_cast<uint32_t>(id);
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        x *= 0xC2B2AE35u;
        x ^= x >> 16;
        return x & mask;
    }
    bool place(std::vector<int32_t>& slots, int32_t id) {
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
        std::vector<int32_t> bigger(slots_.size() * 2, kEmpty);
        for (int32_t id : slots_) {
            if (id != kEmpty) {
                place(bigger, id);
                --size_;  // place counted it again
            }
        }
        slots_.swap(bigger);
    }

    std::vector<int32_t> slots_;
    size_t size_ = 0;
    bool haveEmptyId_ = false;
};

}  // namespace lgt_text

#endif
