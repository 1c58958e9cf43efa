#pragma once

#include <cstdint>
#include <vector>

// Builds hand-made RBSPs and NAL units for parser tests.
class BitWriter {
public:
    BitWriter& u(int count, uint64_t value)
    {
        for (int i = count - 1; i >= 0; --i)
            bit(static_cast<uint32_t>((value >> i) & 1u));
        return *this;
    }
    BitWriter& ue(uint64_t value)
    {
        uint64_t code = value + 1;
        int length = 0;
        while ((code >> length) > 1)
            ++length;
        u(length, 0);
        return u(length + 1, code);
    }
    BitWriter& se(int64_t value)
    {
        return ue(value > 0 ? static_cast<uint64_t>(2 * value - 1) : static_cast<uint64_t>(-2 * value));
    }
    BitWriter& trailing()
    {
        bit(1);
        while (m_Used != 8)
            bit(0);
        return *this;
    }
    size_t bitCount() const { return m_Bytes.size() * 8 - (8 - m_Used); }

    // Header byte(s) followed by the payload with emulation prevention.
    std::vector<uint8_t> nal(std::vector<uint8_t> header) const
    {
        std::vector<uint8_t> out = std::move(header);
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
    void bit(uint32_t value)
    {
        if (m_Used == 8) {
            m_Bytes.push_back(0);
            m_Used = 0;
        }
        if (value)
            m_Bytes.back() |= static_cast<uint8_t>(0x80u >> m_Used);
        ++m_Used;
    }

    std::vector<uint8_t> m_Bytes;
    int m_Used = 8;
};
