#pragma once

#include <cstdint>
#include <vector>

// Builds hand-made RBSPs and NAL units for parser tests.
class BitWriter {
public:
    BitWriter& u(int count, uint64_t value)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_Used == 8) {
                m_Bytes.push_back(0);
                m_Used = 0;
            }
            m_Bytes.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (7 - m_Used++));
        }
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
    BitWriter& trailing()
    {
        u(1, 1);
        return m_Used == 8 ? *this : u(8 - m_Used, 0);
    }
    size_t bitCount() const { return m_Bytes.size() * 8 - (8 - m_Used); }

    // Header byte(s) followed by the payload with emulation prevention.
    std::vector<uint8_t> nal(std::vector<uint8_t> out) const
    {
        int zeros = 0;
        for (uint8_t byte : m_Bytes) {
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
    std::vector<uint8_t> m_Bytes;
    int m_Used = 8;
};
