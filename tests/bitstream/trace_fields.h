#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Reference header traces: the lines that ffmpeg's trace_headers bitstream
// filter prints (captured with -v trace), an independent reading of the same
// streams. Records are compared with them by element name: a table maps each
// traced name to a getter of the stored field.

// One printed syntax element, e.g. "8 profile_idc 01100100 = 100".
struct TraceElement {
    std::string name;   // as printed; arrays as "name[i]" or "name[i][j]"
    uint64_t position;  // bit offset from the first NAL header bit, after emulation-prevention removal
    std::string bits;
    int64_t value;
};

// One NAL unit of a packet: its elements from forbidden_zero_bit on.
struct TraceUnit {
    int packet;
    std::vector<TraceElement> elements;

    const TraceElement* find(std::string_view name) const
    {
        for (const TraceElement& element : elements) {
            if (element.name == name)
                return &element;
        }
        return nullptr;
    }
    bool has(std::string_view name) const { return find(name) != nullptr; }
    int64_t value(std::string_view name) const
    {
        if (!has(name))
            throw std::out_of_range("no " + std::string(name) + " traced");
        return find(name)->value;
    }
    // Bit position after the last printed element.
    uint64_t end() const { return elements.empty() ? 0 : elements.back().position + elements.back().bits.size(); }
};

class HeaderTrace {
public:
    // The units of the packets in stream order; the parameter sets repeated
    // under "Extradata" are left out.
    static HeaderTrace FromFile(const std::string& path)
    {
        std::ifstream in(path);
        if (!in)
            throw std::runtime_error("cannot read trace " + path);
        HeaderTrace trace;
        int packet = -1, packets = 0;
        for (std::string line; std::getline(in, line);) {
            const size_t close = line.find("] ", line.find("[trace_headers @ "));
            if (close == std::string::npos)
                continue;
            std::string_view text = std::string_view(line).substr(close + 2);
            std::istringstream fields{std::string(text)};
            TraceElement element;
            std::string equals;
            if (text.starts_with("Packet:") || text.starts_with("Extradata")) {
                packet = text[0] == 'P' ? packets++ : -1;
            } else if (packet >= 0 && fields >> element.position >> element.name >> element.bits >> equals >> element.value && equals == "=") {
                if (element.position == 0 && element.name == "forbidden_zero_bit")
                    trace.m_Units.push_back({packet, {}});
                if (!trace.m_Units.empty())
                    trace.m_Units.back().elements.push_back(std::move(element));
            }
        }
        return trace;
    }
    const std::vector<TraceUnit>& units() const { return m_Units; }

private:
    std::vector<TraceUnit> m_Units;
};

using TraceIndex = std::vector<size_t>;  // the subscripts of "name[i][j]"
template <typename Record>
using TraceFields = std::map<std::string, std::function<int64_t(const Record&, const TraceIndex&)>, std::less<>>;

#define TRACE_FIELD(Record, name, expression) {#name, [](const Record& r, const TraceIndex& i) -> int64_t { (void)i; return expression; }}

inline std::string SplitTraceName(const std::string& full, TraceIndex& index)
{
    index.clear();
    for (size_t open = full.find('['); open != std::string::npos; open = full.find('[', open + 1))
        index.push_back(std::stoul(full.substr(open + 1)));
    return full.substr(0, full.find('['));
}

// Checks every element of the unit that the table knows and returns how many.
template <typename Record>
size_t CompareTracedFields(const Record& record, const TraceUnit& unit, const TraceFields<Record>& fields, const std::string& where)
{
    size_t compared = 0;
    TraceIndex index;
    for (const TraceElement& element : unit.elements) {
        auto getter = fields.find(SplitTraceName(element.name, index));
        if (getter == fields.end())
            continue;
        EXPECT_EQ(getter->second(record, index), element.value) << where << ": " << element.name << " at bit " << element.position;
        ++compared;
    }
    return compared;
}
