#include <chrono>
#include <thread>

#include "decoder/dxva2_video_decoder.h"
#include "logging/spdlog_logger.h"

using namespace platform;

namespace {

// Far beyond the few pictures a driver keeps in flight, even at 2160p on
// slow hardware; a device that has not finished by then is stuck.
constexpr int64_t kDecodeWaitLimitUs = 2000000;
// Short waits are measured closely by yielding between polls; longer ones
// sleep, so that a slow device does not cost a core.
constexpr int64_t kYieldingWaitUs = 2000;
constexpr auto kPollSleep = std::chrono::milliseconds(1);

}  // namespace

int64_t DXVA2VideoDecoder::WaitUntilDecoded()
{
    // Nothing was submitted without a configured decoder.
    if (!m_Initialized || !m_Device || !m_DeviceContext || !m_VideoDecoder || m_CounterFrequency <= 0)
        return 0;

    const D3D11_QUERY_DESC description = {D3D11_QUERY_EVENT, 0};
    ID3D11Query* query = nullptr;
    platform::HRESULT result = m_Device->CreateQuery(&description, &query);
    if (Failed(result) || !query) {
        g_Logger.Log(LogLevel::error, "decoder: failed CreateQuery. hr = 0x%x",
                     HresultBits(Failed(result) ? result : kResultPointer));
        return kDecodeSubmitFailed;
    }
    m_DeviceContext->End(query);
    m_DeviceContext->Flush();

    int64_t start = 0;
    m_Platform.QueryPerformanceCounter(&start);
    int64_t outcome = 0;
    for (;;) {
        BOOL done = 0;
        result = m_DeviceContext->GetData(query, &done, sizeof(done), 0);
        if (Failed(result)) {
            g_Logger.Log(LogLevel::error, "decoder: failed GetData on the event query. hr = 0x%x", HresultBits(result));
            outcome = kDecodeSubmitFailed;
            break;
        }
        if (result == kResultOk && done)
            break;
        int64_t waited = ElapsedMicroseconds(start);
        if (waited >= kDecodeWaitLimitUs) {
            g_Logger.Log(LogLevel::error, "decoder: decoding did not finish within %d us", waited);
            outcome = kDecodeSubmitFailed;
            break;
        }
        if (waited < kYieldingWaitUs)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(kPollSleep);
    }
    query->Release();
    return outcome;
}
