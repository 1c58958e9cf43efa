#include "logging/first_error_capture.h"

namespace {

thread_local FirstErrorCapture* t_Capture = nullptr;

}  // namespace

FirstErrorCapture::FirstErrorCapture() : m_Outer(t_Capture)
{
    t_Capture = this;
}

FirstErrorCapture::~FirstErrorCapture()
{
    t_Capture = m_Outer;
}

bool FirstErrorCapture::Active()
{
    return t_Capture && t_Capture->m_Text.empty();
}

void FirstErrorCapture::Offer(std::string_view line)
{
    FirstErrorCapture* capture = t_Capture;
    if (!capture || !capture->m_Text.empty())
        return;
    // Some lines end in a newline of their own; the reason does not need it.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    capture->m_Text.assign(line);
}
