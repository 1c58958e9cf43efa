#include "support/header_trace.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

constexpr std::string_view kTraceTag = "[trace_headers @ ";

// Text after the "[trace_headers @ 0x...] " prefix, or empty when the line
// is not the filter's (progress output may share a line with it, so the tag
// is searched anywhere).
std::string_view TraceText(std::string_view line)
{
    size_t tag = line.find(kTraceTag);
    if (tag == std::string_view::npos)
        return {};
    size_t close = line.find("] ", tag);
    if (close == std::string_view::npos)
        return {};
    return line.substr(close + 2);
}

bool ParseElement(std::string_view text, TraceElement& element)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    std::istringstream in{std::string(text)};
    std::string equals;
    if (!(in >> element.position >> element.name >> element.bits >> equals >> element.value) || equals != "=")
        return false;
    return true;
}

} // namespace

const TraceElement* TraceUnit::find(std::string_view name, size_t occurrence) const
{
    for (const TraceElement& element : elements) {
        if (element.name == name && occurrence-- == 0)
            return &element;
    }
    return nullptr;
}

int64_t TraceUnit::value(std::string_view name, size_t occurrence) const
{
    const TraceElement* element = find(name, occurrence);
    if (!element)
        throw std::out_of_range("no " + std::string(name) + " in " + title);
    return element->value;
}

HeaderTrace HeaderTrace::Parse(std::istream& in)
{
    HeaderTrace trace;
    std::string line;
    std::string title;
    int packet = -1;
    TraceUnit* current = nullptr;
    while (std::getline(in, line)) {
        std::string_view text = TraceText(line);
        if (text.empty())
            continue;
        TraceElement element;
        if (ParseElement(text, element)) {
            if (element.position == 0 && element.name == "forbidden_zero_bit") {
                auto& list = packet < 0 ? trace.m_ExtradataUnits : trace.m_Units;
                list.push_back(TraceUnit{title, packet, {}});
                current = &list.back();
            }
            if (current)
                current->elements.push_back(std::move(element));
            continue;
        }
        if (text.starts_with("Packet:")) {
            packet = static_cast<int>(trace.m_PacketCount++);
            current = nullptr;
        } else if (text.starts_with("Extradata")) {
            packet = -1;
            current = nullptr;
        } else if (!text.starts_with("nal_unit_type:")) {
            title = std::string(text);
            while (!title.empty() && std::isspace(static_cast<unsigned char>(title.back())))
                title.pop_back();
        }
    }
    return trace;
}

HeaderTrace HeaderTrace::FromFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read trace " + path);
    return Parse(in);
}
