#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/header_trace.h"

// Compares records with a reference header trace by element name: a table
// maps each traced name to a getter of the stored field.

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

// Checks every element of the unit that the table knows and returns how
// many; `skip` decides for the element of the given position whether it is left out.
template <typename Record>
size_t CompareTracedFields(const Record& record, const TraceUnit& unit, const TraceFields<Record>& fields,
                           const std::string& where, const std::function<bool(size_t)>& skip = nullptr)
{
    size_t compared = 0;
    TraceIndex index;
    for (size_t e = 0; e < unit.elements.size(); ++e) {
        const TraceElement& element = unit.elements[e];
        auto getter = fields.find(SplitTraceName(element.name, index));
        if (getter == fields.end() || (skip && skip(e)))
            continue;
        EXPECT_EQ(getter->second(record, index), element.value) << where << ": " << element.name << " at bit " << element.position;
        ++compared;
    }
    return compared;
}
