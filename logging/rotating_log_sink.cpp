#include "logging/rotating_log_sink.h"

#include <spdlog/common.h>

#include "logging/log_rotation.h"

RotatingLogSink::RotatingLogSink(std::string name, uint64_t maxSize, size_t kept, std::shared_ptr<LogFileSystem> files)
    : m_Name(std::move(name)), m_MaxSize(maxSize), m_Kept(kept), m_Files(std::move(files))
{
    if (m_Kept == 0)
        throw spdlog::spdlog_ex("rotating log: at least one kept file");
    std::error_code error;
    m_File = m_Files->Open(m_Name, error);
    if (!m_File)
        throw spdlog::spdlog_ex("Failed opening file " + m_Name + " for writing: " + DescribeLogFileError(error));
    m_Size = m_File->Size();
    // Lines gather here until a write-out. Sized and written once, so that a
    // line logged inside a timed case neither grows it nor faults its pages in.
    m_Pending.assign(2 * kWriteOutSize, '\0');
    m_Pending.clear();
}

RotatingLogSink::~RotatingLogSink()
{
    try {
        WriteOut();
    } catch (const spdlog::spdlog_ex&) {
        // Nobody left to tell.
    }
}

void RotatingLogSink::sink_it_(const spdlog::details::log_msg& msg)
{
    spdlog::memory_buf_t line;
    formatter_->format(msg, line);
    if (m_Size + line.size() > m_MaxSize) {
        try {
            RotateIfDue(msg, line.size());
        } catch (const spdlog::spdlog_ex&) {
            // The lines before it could not be written out: this one waits
            // with them, and the rotation is tried again with the next line.
            Keep(line);
            throw;
        }
    }
    Add(line);
}

void RotatingLogSink::flush_()
{
    WriteOut();
}

void RotatingLogSink::RotateIfDue(const spdlog::details::log_msg& msg, size_t lineSize)
{
    const auto now = std::chrono::steady_clock::now();
    if (now < m_NextTry)
        return;
    // The file and its size as they are now: another instance may have
    // rotated already.
    const std::error_code reopenError = FollowName();
    WriteOut(false);
    if (reopenError) {
        m_NextTry = now + kRetryInterval;
        return PutOff(msg, "could not reopen " + m_Name + ": " + DescribeLogFileError(reopenError));
    }
    // Another instance rotated: any put-off episode of ours is over.
    if (m_Size == 0 || m_Size + lineSize <= m_MaxSize) {
        m_PutOff = false;
        return;
    }
    std::string failure = ShiftUnlessShifted();
    if (failure.empty()) {
        const std::error_code error = FollowName();
        if (!error) {
            m_PutOff = false;
            return;
        }
        failure = "could not open a new " + m_Name + ": " + DescribeLogFileError(error);
    }
    // Counted from the failed try's end: a slow try must not bring the next one closer.
    m_NextTry = std::chrono::steady_clock::now() + kRetryInterval;
    PutOff(msg, failure);
}

// Two instances past the limit at once must shift the kept files once, not
// twice (which would push the oldest out early): only the holder of the lock
// of the file that has the name shifts, and the name is checked under it.
std::string RotatingLogSink::ShiftUnlessShifted()
{
    // Without locks, a rare double shift beats never rotating.
    const bool locked = m_File->Lock();
    std::string failure;
    if (m_File->IsNamed(m_Name))
        failure = ShiftLogFiles(*m_Files, m_Name, m_Kept);
    if (locked)
        m_File->Unlock();
    return failure;
}

void RotatingLogSink::PutOff(const spdlog::details::log_msg& msg, const std::string& why)
{
    if (m_PutOff)
        return;
    m_PutOff = true;
    const std::string text = "log: rotation put off, " + m_Name + " grows past its limit until a later try succeeds: " + why;
    spdlog::details::log_msg notice(msg.time, spdlog::source_loc{}, msg.logger_name, spdlog::level::err, text);
    spdlog::memory_buf_t line;
    formatter_->format(notice, line);
    Add(line);
}

void RotatingLogSink::Keep(const spdlog::memory_buf_t& line)
{
    m_Pending.append(line.data(), line.size());
    m_Size += line.size();
}

void RotatingLogSink::Add(const spdlog::memory_buf_t& line)
{
    Keep(line);
    if (m_Pending.size() < kWriteOutSize)
        return;
    // Looking the name up costs a file open on Windows: while lines flow, a
    // few times a second is enough.
    const auto now = std::chrono::steady_clock::now();
    const bool followName = now >= m_NextNameCheck;
    if (followName)
        m_NextNameCheck = now + kNameCheckInterval;
    WriteOut(followName);
}

void RotatingLogSink::WriteOut(bool followName)
{
    if (m_Pending.empty())
        return;
    if (followName)
        FollowName();
    size_t written = 0;
    const std::error_code error = m_File->Append(m_Pending.data(), m_Pending.size(), written);
    if (!error) {
        m_Pending.clear();
        return;
    }
    // What reached the file before the failure must not come out twice.
    m_Pending.erase(0, written);
    // Kept for the next write-out, unless the file has refused so much that
    // holding more would only grow the process.
    if (m_Pending.size() > kMaxPendingSize)
        m_Pending.clear();
    throw spdlog::spdlog_ex("Failed writing to file " + m_Name + ": " + DescribeLogFileError(error));
}

// Lines belong in the file that has the name now. After another instance
// rotated, the file we hold is its kept file 1: switch to the new one. When
// that fails, keep writing where we are, which loses nothing.
std::error_code RotatingLogSink::FollowName()
{
    std::error_code error;
    if (!m_File->IsNamed(m_Name)) {
        if (auto file = m_Files->Open(m_Name, error))
            m_File = std::move(file);
    }
    m_Size = m_File->Size() + m_Pending.size();
    return error;
}
