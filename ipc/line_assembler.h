#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Cuts a byte stream that arrives in reads of any size into newline-ended
// lines. A line split across reads is joined before it is handed on; the
// bytes after the last newline wait for the next read.
class LineAssembler {
public:
    // Longest line (without its newline) that is handed on. A longer line is
    // dropped whole, with one error line, up to and including its newline.
    static constexpr size_t kMaxLineLength = 65535;

    // Returns false to drop the rest of the current read and any partial line.
    using LineHandler = std::function<bool(std::string_view line)>;

    // Calls onLine once for every line completed by these bytes, in order.
    void feed(const char* data, size_t length, const LineHandler& onLine);

    // Forgets a partial line, e.g. when the stream ends.
    void reset();

    size_t pendingBytes() const { return m_Pending.size(); }

private:
    std::string m_Pending;
    bool m_Skipping = false;
};
