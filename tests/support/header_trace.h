#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

// Reader for the text that ffmpeg's trace_headers bitstream filter prints
// (captured from stderr with -v trace), used as an independent reference for
// parsed header fields. Only lines containing "[trace_headers @" count.

// One printed syntax element, e.g. "8  profile_idc  01100100 = 100".
struct TraceElement {
    std::string name;    // exactly as printed; arrays as "name[i]" or "name[i][j]"
    uint64_t position;   // bit offset from the first NAL header bit, after emulation-prevention removal
    std::string bits;    // the coded bits as printed
    int64_t value;

    uint64_t end() const { return position + bits.size(); }
};

// One NAL unit: its syntax elements from forbidden_zero_bit on, in order.
struct TraceUnit {
    std::string title;   // structure title printed before it: "Sequence Parameter Set", "Slice Header", ...
    int packet;          // index of the "Packet:" it belongs to; -1 in the extradata section
    std::vector<TraceElement> elements;

    // The occurrence-th element of that exact name, or null.
    const TraceElement* find(std::string_view name, size_t occurrence = 0) const;
    bool has(std::string_view name) const { return find(name) != nullptr; }
    // Value of the element; throws std::out_of_range naming it when absent.
    int64_t value(std::string_view name, size_t occurrence = 0) const;
    // Bit position after the last printed element.
    uint64_t end() const { return elements.empty() ? 0 : elements.back().end(); }
};

class HeaderTrace {
public:
    static HeaderTrace Parse(std::istream& in);
    // Throws std::runtime_error when the file cannot be read.
    static HeaderTrace FromFile(const std::string& path);

    // NAL units of the packets, in stream order. Units printed under
    // "Extradata" repeat parameter sets and are kept apart.
    const std::vector<TraceUnit>& units() const { return m_Units; }
    const std::vector<TraceUnit>& extradataUnits() const { return m_ExtradataUnits; }
    size_t packetCount() const { return m_PacketCount; }

private:
    std::vector<TraceUnit> m_Units;
    std::vector<TraceUnit> m_ExtradataUnits;
    size_t m_PacketCount = 0;
};
