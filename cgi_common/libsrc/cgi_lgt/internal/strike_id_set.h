// The set of NX1 strike identifiers one read has stored, so that every distinct identifier
// (negative ones included) is kept and a repeated one is always recognised, however many
// share a hash value.
//
// Identifiers of one day mostly run in sequence, so the set holds words of 64 bits, one per
// block of 64 consecutive identifiers, in a table with open addressing that grows with the
// read; a run of identifiers touches one word after another instead of one scattered slot
// each.
#ifndef CGI_LGT_INTERNAL_STRIKE_ID_SET_H
#define CGI_LGT_INTERNAL_STRIKE_ID_SET_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lgt_text {

class StrikeIdSet {
  public:
    StrikeIdSet() : slots_(kInitialSlots) {}

    // True when id was not in the set (it is now).
    bool insert(int id) {
        const int32_t block = id >> 6;  // arithmetic shift: negative blocks stay distinct
        const uint64_t bit = uint64_t{1} << (static_cast<uint32_t>(id) & 63);
        if (last_ == nullptr || last_->block != block) {
            last_ = find(block);
        }
        if ((last_->bits & bit) != 0) {
            return false;
        }
        last_->bits |= bit;
        ++size_;
        return true;
    }
    size_t size() const { return size_; }

    // Makes room for about n more identifiers at once, instead of growing step by step.
    void reserve(size_t n) {
        while ((blocks_ + n / 16) * 2 > slots_.size()) {
            grow();
        }
    }

  private:
    struct Slot {
        int32_t block = kEmpty;
        uint64_t bits = 0;
    };
    // Blocks are identifiers shifted by 6 bits: no block reaches this value.
    static constexpr int32_t kEmpty = INT32_MIN;
    static constexpr size_t kInitialSlots = 256;
    static constexpr size_t kMaxSlots = size_t{1} << 27;  // every block of 32-bit ids

    // A full 32-bit mix, so that no pattern of identifiers crowds one part of the table.
    static size_t slotOf(int32_t block, size_t mask) {
        auto x = static_cast<uint32_t>(block);
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        x *= 0xC2B2AE35u;
        x ^= x >> 16;
        return x & mask;
    }
    static Slot* probe(std::vector<Slot>& slots, int32_t block) {
        const size_t mask = slots.size() - 1;
        for (size_t i = slotOf(block, mask);; i = (i + 1) & mask) {
            if (slots[i].block == block || slots[i].block == kEmpty) {
                return &slots[i];
            }
        }
    }
    // The slot of a block, taken when new.
    Slot* find(int32_t block) {
        Slot* s = probe(slots_, block);
        if (s->block == kEmpty) {
            if ((blocks_ + 1) * 2 > slots_.size() && slots_.size() < kMaxSlots) {
                grow();
                s = probe(slots_, block);
            }
            s->block = block;
            ++blocks_;
        }
        return s;
    }
    void grow() {
        if (slots_.size() >= kMaxSlots) {
            return;
        }
        std::vector<Slot> bigger(slots_.size() * 2);
        for (const Slot& s : slots_) {
            if (s.block != kEmpty) {
                *probe(bigger, s.block) = s;
            }
        }
        slots_.swap(bigger);
        last_ = nullptr;
    }

    std::vector<Slot> slots_;
    Slot* last_ = nullptr;
    size_t blocks_ = 0;
    size_t size_ = 0;
};

}  // namespace lgt_text

#endif
