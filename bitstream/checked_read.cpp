#include "bitstream/checked_read.h"

#include "logging/spdlog_logger.h"

namespace {

bool StoreIfInRange(uint32_t read, const char* name, uint32_t maxValue, uint32_t& value)
{
    if (read > maxValue) {
        g_Logger.Log(LogLevel::error, "parser: %s out of range: %u (at most %u)", name, read, maxValue);
        return false;
    }
    value = read;
    return true;
}

} // namespace

bool ReadUeMax(BitReader& reader, const char* name, uint32_t maxValue, uint32_t& value)
{
    return StoreIfInRange(ReadUe(reader), name, maxValue, value);
}

bool ReadBitsMax(BitReader& reader, int count, const char* name, uint32_t maxValue, uint32_t& value)
{
    return StoreIfInRange(ReadBits(reader, count), name, maxValue, value);
}
