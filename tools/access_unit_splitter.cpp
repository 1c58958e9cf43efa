#include "tools/access_unit_splitter.h"

#include "bench/stream_splitter.h"

bool SplitAccessUnits(uint8_t codec, const uint8_t* data, size_t size,
                      std::vector<AccessUnitRange>& units, std::string& error)
{
    units.clear();
    if (size > kMaxStreamSize) {
        error = "stream is larger than " + std::to_string(kMaxStreamSize) + " bytes";
        return false;
    }
    // The whole stream is one window that nothing follows.
    AccessUnitSplitter splitter(codec);
    size_t offset = 0;
    for (;;) {
        const SplitStep step = splitter.Next(data + offset, size - offset, true);
        if (step.kind == SplitStep::Kind::End)
            return true;
        if (step.kind != SplitStep::Kind::Unit) {
            error = splitter.Error();
            units.clear();
            return false;
        }
        units.push_back({offset, step.size});
        offset += step.size;
    }
}
