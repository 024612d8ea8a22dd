#pragma once
// The codeword buffer shared by pages, the fast search, the tune-up and the Morse ident:
// slots numbered 1 to 2000, every access checked against that range.
#include "encoder/codeword.h"

#include <array>
#include <span>
#include <stdexcept>

namespace tarvex {

class SlotBuffer {
public:
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 2000;
    /// Slots 1001 to 2000 hold the Morse ident; page builds never write there.
    static constexpr int IdentFirstSlot = 1001;

    Codeword& operator[](int slot) { return m_slots[index(slot)]; }
    Codeword operator[](int slot) const { return m_slots[index(slot)]; }

    /// Slots first..LastSlot as a contiguous view, for handing a stream to the generator.
    std::span<const Codeword> from(int first) const {
        return std::span<const Codeword>(m_slots).subspan(index(first));
    }
    /// Slots first..last inclusive.
    std::span<const Codeword> range(int first, int last) const {
        if (last < first - 1)
            throw std::out_of_range("codeword slot range");
        index(first);
        if (last >= first)
            index(last);
        return std::span<const Codeword>(m_slots).subspan(first - 1, last - first + 1);
    }
    /// Sets slots first..last to value.
    void fill(int first, int last, Codeword value) {
        for (int s = first; s <= last; ++s)
            (*this)[s] = value;
    }

private:
    static std::size_t index(int slot) {
        if (slot < FirstSlot || slot > LastSlot)
            throw std::out_of_range("codeword slot " + std::to_string(slot) + " outside 1..2000");
        return static_cast<std::size_t>(slot - 1);
    }
    std::array<Codeword, LastSlot> m_slots{};
};

} // namespace tarvex
