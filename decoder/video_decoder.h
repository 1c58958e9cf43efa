#pragma once

#include <cstdint>
#include <memory>

class VideoFrame;

// Results of Init and Decode besides success; every one is also handed to the
// error callback.
constexpr int64_t kDecodeSubmitFailed = -3;   // any failure while submitting an access unit
constexpr int64_t kNoUsableAdapter = -4;      // Init: no adapter passed, or a device service is missing
constexpr int64_t kReconfigureFailed = -6;    // Decode: no decoder for the new size or codec
constexpr int64_t kFactoryFailed = -8;        // Init: the DXGI factory could not be created
constexpr int64_t kDecoderWasBusy = -9;       // callback only: the surface was busy, decode went on

// A hardware video decoder as the benchmark drives it.
class VideoDecoder {
public:
    virtual ~VideoDecoder() = default;
    virtual bool IsInitialized() = 0;
    virtual int32_t Init() = 0;
    // Decodes one access unit; the caller keeps the frame.
    virtual int64_t Decode(std::unique_ptr<VideoFrame>& frame) = 0;
    // Sets the decoder and its output surfaces up for pictures like this
    // frame's (codec, size, and what its parameter sets need) without decoding
    // it, so that Decode finds them ready: 0, or negative as Decode's set-up.
    virtual int64_t Prepare(VideoFrame&) { return 0; }
    // Waits until the pictures handed to Decode so far are decoded: 0, or
    // negative when that cannot be known. Hardware decodes behind the caller's
    // back; a decoder that finishes within Decode has nothing to wait for.
    virtual int64_t WaitUntilDecoded() { return 0; }
    // The next frame starts its stream again, as each pass over a case does:
    // the pictures kept for reference before it are forgotten.
    virtual void StartOver() {}
};

// The family of decoders built on the Windows video stack.
class WindowsVideoDecoder : public VideoDecoder {
public:
    ~WindowsVideoDecoder() override = default;
};
