#pragma once

#include <cstdint>
#include <vector>

// Builds hand-made RBSPs and NAL units for parser tests.
class BitWriter {
public:
    BitWriter& u(int count, uint64_t value)
    {
        for (int i = count - 1; i >= 0; --i)
            m_Bits.push_back((value >> i) & 1);
        return *this;
    }
    BitWriter& ue(uint64_t value)
    {
        int length = 0;
        while (((value + 1) >> length) > 1)
            ++length;
        return u(length, 0).u(length + 1, value + 1);
    }
    BitWriter& se(int64_t value) { return ue(value > 0 ? static_cast<uint64_t>(2 * value - 1) : static_cast<uint64_t>(-2 * value)); }
    BitWriter& trailing() { return u(1, 1).u(static_cast<int>((8 - m_Bits.size() % 8) % 8), 0); }

    // Header byte(s) followed by the payload with emulation prevention.
    std::vector<uint8_t> nal(std::vector<uint8_t> out) const
    {
        int zeros = 0;
        for (size_t i = 0; i < m_Bits.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t bit = i; bit < i + 8; ++bit)
                byte = static_cast<uint8_t>(byte << 1 | (bit < m_Bits.size() && m_Bits[bit]));
            if (zeros >= 2 && byte <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(byte);
            zeros = byte == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    std::vector<bool> m_Bits;
};
