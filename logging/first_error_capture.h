#pragma once

#include <string>
#include <string_view>

// Keeps the first error line this thread logs while it lives, so that a
// result can say why it failed in the words of the log. Captures nest: the
// innermost one takes the line.
class FirstErrorCapture {
public:
    FirstErrorCapture();
    ~FirstErrorCapture();
    FirstErrorCapture(const FirstErrorCapture&) = delete;
    FirstErrorCapture& operator=(const FirstErrorCapture&) = delete;

    // Empty until an error line was logged.
    const std::string& Text() const { return m_Text; }

    // Whether this thread has a capture that still waits for its line.
    static bool Active();
    // The logger's hook: hands an error line to this thread's capture, if any.
    static void Offer(std::string_view line);

private:
    std::string m_Text;
    FirstErrorCapture* m_Outer;
};
