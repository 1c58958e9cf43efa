#include "ipc/messages.h"

#include <cstring>
#include <exception>
#include <string_view>
#include <typeinfo>

#if defined(__GNUC__) || defined(__clang__)
#include <cxxabi.h>
#endif

namespace {

// Text plus newline at `offset`, or -1 when it does not fit.
int64_t WriteLine(char* buffer, size_t capacity, size_t offset, std::string_view text)
{
    if (buffer == nullptr || offset > capacity || text.size() + 1 > capacity - offset)
        return -1;
    if (!text.empty())
        std::memcpy(buffer + offset, text.data(), text.size());
    buffer[offset + text.size()] = '\n';
    return static_cast<int64_t>(offset + text.size() + 1);
}

}  // namespace

int64_t ComChanMessage::write(char* buffer, size_t capacity, size_t offset)
{
    return WriteLine(buffer, capacity, offset, {});
}

int64_t HeartbeatComChanMessage::write(char* buffer, size_t capacity, size_t offset)
{
    return WriteLine(buffer, capacity, offset, kText);
}

ComChanJsonMessage::ComChanJsonMessage(nlohmann::json value)
    : m_Value(std::move(value))
{
}

int64_t ComChanJsonMessage::write(char* buffer, size_t capacity, size_t offset)
{
    std::string text;
    try {
        // Invalid UTF-8 in a string would make the default dump throw; the
        // parent cannot take such text anyway, so it is replaced.
        text = m_Value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const std::exception&) {
        return -1;
    }
    return WriteLine(buffer, capacity, offset, text);
}

std::string MessageTypeName(const ComChanMessage* message)
{
    if (message == nullptr)
        return "NULL";
    return TypeName(typeid(*message));
}

std::string TypeName(const std::type_info& type)
{
    const char* raw = type.name();
#if defined(__GNUC__) || defined(__clang__)
    int status = 0;
    char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
    if (status == 0 && demangled != nullptr) {
        std::string name(demangled);
        std::free(demangled);
        return name;
    }
    std::free(demangled);
#endif
    return raw;
}
