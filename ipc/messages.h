#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <typeinfo>

#include <nlohmann/json.hpp>

// Root of the outgoing message family.
class BaseMessage {
public:
    virtual ~BaseMessage() = default;
};

// A message that writes its own wire text: one line, ended by a newline.
class ComChanMessage : public BaseMessage {
public:
    // Writes at `offset` into a buffer of `capacity` bytes and returns the
    // offset just past what was written, or a negative value (and nothing
    // written) when it does not fit. The base message is the bare newline.
    virtual int64_t write(char* buffer, size_t capacity, size_t offset);
};

// The keep-alive line the parent receives every ping period.
class HeartbeatComChanMessage : public ComChanMessage {
public:
    static constexpr const char* kText = R"({"cmd":"heartbeat"})";

    int64_t write(char* buffer, size_t capacity, size_t offset) override;
};

// A JSON value sent as its compact text. The message keeps its own copy of
// the value: a message queued from another thread is written later, and a
// reference to the sender's value could be gone by then.
class ComChanJsonMessage : public ComChanMessage {
public:
    explicit ComChanJsonMessage(nlohmann::json value);

    const nlohmann::json& value() const { return m_Value; }
    int64_t write(char* buffer, size_t capacity, size_t offset) override;

private:
    nlohmann::json m_Value;
};

// Readable name of a message's dynamic type for log lines; "NULL" for none.
std::string MessageTypeName(const ComChanMessage* message);
std::string TypeName(const std::type_info& type);
