#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <spdlog/sinks/base_sink.h>

#include "logging/log_files.h"

// Appends lines to a file and rotates it past a size limit into a row of kept
// files. A rotation that cannot rename (the file held open by another
// program) is put off rather than forced: the file keeps growing, one error
// line says why, and the next line past the limit at least a second later
// tries again. Lines are written out in whole lines, so that two instances
// appending to one file never split each other's lines. What a failed write
// did not get into the file is kept and goes out, in order, with the next:
// after a short write that is the rest of a line, which then ends the line
// the failed write began.
class RotatingLogSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // Throws spdlog::spdlog_ex when `name` cannot be opened.
    RotatingLogSink(std::string name, uint64_t maxSize, size_t kept,
                    std::shared_ptr<LogFileSystem> files = std::make_shared<LogFileSystem>());
    ~RotatingLogSink() override;

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

private:
    void RotateIfDue(const spdlog::details::log_msg& msg, size_t lineSize);
    std::string ShiftUnlessShifted();
    void PutOff(const spdlog::details::log_msg& msg, const std::string& why);
    void Keep(const spdlog::memory_buf_t& line);
    void Add(const spdlog::memory_buf_t& line);
    void WriteOut(bool followName = true);
    std::error_code FollowName();

    static constexpr size_t kWriteOutSize = 8192;
    static constexpr size_t kMaxPendingSize = 1 << 20;
    static constexpr std::chrono::seconds kRetryInterval{1};
    static constexpr std::chrono::milliseconds kNameCheckInterval{200};

    const std::string m_Name;
    const uint64_t m_MaxSize;
    const size_t m_Kept;
    std::shared_ptr<LogFileSystem> m_Files;
    std::unique_ptr<LogFile> m_File;
    // Whole lines not yet written, and the file's size as last seen plus them.
    std::string m_Pending;
    uint64_t m_Size = 0;
    std::chrono::steady_clock::time_point m_NextTry{};
    std::chrono::steady_clock::time_point m_NextNameCheck{};
    bool m_PutOff = false;
};
