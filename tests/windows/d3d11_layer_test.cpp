// The Direct3D 11 layer under Wine, which has no video decoding: its two entry
// points hand out COM objects of the test's own (factory, adapter, device,
// contexts, decoder, textures, views), each forwarding the layer's calls to an
// object of the simulated video device, which checks every call as a strict
// driver would.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/bench_case.h"
#include "bench/video_file_frame.h"
#include "decoder/capability/capability_probe.h"
#include "decoder/capability_test_machine.h"
#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/d3d11/d3d11_entry_points.h"
#include "decoder/platform/simulated/simulated_video_device.h"
#include "support/log_capture.h"

#include <d3d11_1.h>

namespace {

platform::SimulatedVideoPlatform g_Simulated;
// The platform behind the entry points: the simulated one unless a test puts another here.
platform::VideoPlatform* g_Backing = &g_Simulated;
// Submissions the simulated device accepted through the video context double.
int g_AcceptedSubmissions = 0;
// Event queries the simulated device reported done through the context double.
int g_FinishedQueries = 0;

using Entry = void (*)();

// A COM object of the test's own: a pointer to its interface's table, as COM
// lays objects out, then the simulated object it forwards to, whose reference
// it holds.
struct Double {
    const Entry* m_Table;
    platform::PlatformUnknown* m_Backing;
    std::atomic<ULONG> m_References{1};
};

ULONG Release(Double* self)
{
    ULONG remaining = --self->m_References;
    if (remaining == 0) {
        self->m_Backing->Release();
        delete self;
    }
    return remaining;
}

// One interface's table: QueryInterface, AddRef and Release, as every COM
// table starts, then a refusal in every slot but those a double fills in.
class Table {
public:
    // On x86-64 a method and a function taking its object first are called
    // alike, and the caller clears the arguments: one refusal serves all.
    static_assert(sizeof(void*) == 8);
    explicit Table(HRESULT (*query)(Double*, REFIID, void**) = nullptr)
    {
        m_Slots.fill(reinterpret_cast<Entry>(+[]() -> HRESULT { return E_NOTIMPL; }));
        if (query)
            m_Slots[0] = reinterpret_cast<Entry>(query);
        m_Slots[1] = reinterpret_cast<Entry>(+[](Double* self) -> ULONG { return ++self->m_References; });
        m_Slots[2] = reinterpret_cast<Entry>(&Release);
    }
    // Puts a function of the double and the method's arguments in the
    // method's slot, its result as the SDK's. A pointer to a virtual method
    // holds one plus the slot's offset, in the C++ ABI of mingw-w64's compilers.
    template <typename Interface, typename Result, typename... Arguments, typename Function>
    Table& Set(Result (Interface::*method)(Arguments...), Function)
    {
        Result (*entry)(Double*, Arguments...) = [](Double* self, Arguments... arguments) {
            return static_cast<Result>(Function()(self, arguments...));
        };
        ptrdiff_t encoded = 0;
        std::memcpy(&encoded, &method, sizeof(encoded));
        m_Slots.at((encoded - 1) / sizeof(Entry)) = reinterpret_cast<Entry>(entry);
        return *this;
    }
    template <typename Sdk, typename Backing>
    Sdk* Wrap(Backing* backing) const
    {
        return backing ? reinterpret_cast<Sdk*>(new Double{m_Slots.data(), backing}) : nullptr;
    }

private:
    std::array<Entry, 128> m_Slots; // more than any interface the layer is handed has
};

// Textures, views, decoders and queries only come back to the device and the
// video context as arguments, and are released.
const Table kPlain;
// The table of the doubles handed out over simulated objects of a type.
template <typename Simulated>
const Table* const g_TableOf = &kPlain;

// The simulated object behind one of our doubles (those whose Release is
// ours); null for anyone else's object, which the simulated device refuses.
template <typename Backing, typename Sdk>
Backing* BackingOf(Sdk* object)
{
    auto* own = reinterpret_cast<Double*>(object);
    bool ours = object && own->m_Table[2] == reinterpret_cast<Entry>(&Release);
    return ours ? dynamic_cast<Backing*>(own->m_Backing) : nullptr;
}

// Where the SDK's caller receives an object the simulated method hands out:
// a double over it once the call returns.
template <typename Simulated, typename Sdk>
struct HandedOut {
    ~HandedOut() { *m_Sdk = static_cast<Sdk>(g_TableOf<Simulated>->template Wrap<void>(m_Simulated)); }
    operator Simulated**() { return &m_Simulated; }
    Sdk* m_Sdk;
    Simulated* m_Simulated = nullptr;
};

// An SDK argument as the simulated device takes it: our doubles as the
// objects behind them, a place for an object as a HandedOut; records,
// enumerations and GUIDs, the SDK's byte for byte (the layer proves it at
// compile time), as they are.
template <typename Our, typename Sdk>
auto Ours(Sdk value)
{
    using Object = std::remove_pointer_t<Our>;
    if constexpr (std::is_base_of_v<platform::PlatformUnknown, Object>)
        return BackingOf<Object>(value);
    else if constexpr (std::is_base_of_v<platform::PlatformUnknown, std::remove_pointer_t<Object>>)
        return HandedOut<std::remove_pointer_t<Object>, std::remove_pointer_t<Sdk>>{value};
    else
        return std::bit_cast<Our>(value);
}

// Calls a method of the simulated object behind a double.
template <typename Class, typename Result, typename... Parameters, typename... Arguments>
Result Call(Double* self, Result (Class::*method)(Parameters...), Arguments... arguments)
{
    return (BackingOf<Class>(self)->*method)(Ours<Parameters>(arguments)...);
}

// The method of the same name on the simulated object.
#define FORWARD(Interface, Method)                                  \
    Set(&Interface::Method, [](Double* self, auto... arguments) {      \
        return Call(self, &platform::Interface::Method, arguments...); \
    })

// A double over the interface the simulated object answers for, if it does.
template <typename Backing>
HRESULT Ask(Double* self, REFIID interfaceId, const Table& table, void** object)
{
    void* simulated = nullptr;
    HRESULT result = self->m_Backing->QueryInterface(reinterpret_cast<const platform::GUID&>(interfaceId), &simulated);
    *object = table.Wrap<void>(static_cast<Backing*>(simulated));
    return result;
}

const Table kAdapter =
    Table()
        .FORWARD(IDXGIAdapter1, GetDesc1)
        .Set(&IDXGIAdapter::CheckInterfaceSupport, [](Double* self, REFGUID name, LARGE_INTEGER* version) {
            return BackingOf<platform::IDXGIAdapter1>(self)->CheckInterfaceSupport(
                reinterpret_cast<const platform::GUID&>(name), reinterpret_cast<int64_t*>(version));
        });
template <>
const Table* const g_TableOf<platform::IDXGIAdapter1> = &kAdapter;
const Table kFactory = Table().FORWARD(IDXGIFactory2, EnumAdapters1);
const Table kMultithread = Table().FORWARD(ID3D10Multithread, SetMultithreadProtected);

const Table kVideoDevice =
    Table()
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderProfileCount)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderProfile)
        .FORWARD(ID3D11VideoDevice, CheckVideoDecoderFormat)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderConfigCount)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderConfig)
        .FORWARD(ID3D11VideoDevice, CreateVideoDecoder)
        .FORWARD(ID3D11VideoDevice, CreateVideoDecoderOutputView);

// The capability probe's one call of ID3D11VideoDevice1.
const Table kVideoDevice1 = Table().FORWARD(ID3D11VideoDevice1, GetVideoDecoderCaps);

// The simulated device answers for its video device and multithread
// interface (and a probed one for ID3D11VideoDevice1), and for nothing else.
const Table kDevice =
    Table([](Double* self, REFIID interfaceId, void** object) {
        if (interfaceId == __uuidof(ID3D11VideoDevice))
            return Ask<platform::ID3D11VideoDevice>(self, interfaceId, kVideoDevice, object);
        if (interfaceId == __uuidof(ID3D11VideoDevice1))
            return Ask<platform::ID3D11VideoDevice1>(self, interfaceId, kVideoDevice1, object);
        return Ask<platform::ID3D10Multithread>(self, interfaceId, kMultithread, object);
    })
        .FORWARD(ID3D11Device, CheckFormatSupport)
        .FORWARD(ID3D11Device, CreateTexture2D)
        .FORWARD(ID3D11Device, CreateQuery);

const Table kVideoContext =
    Table()
        .FORWARD(ID3D11VideoContext, DecoderBeginFrame)
        .FORWARD(ID3D11VideoContext, GetDecoderBuffer)
        .FORWARD(ID3D11VideoContext, ReleaseDecoderBuffer)
        .Set(&ID3D11VideoContext::SubmitDecoderBuffers, [](Double* self, auto... arguments) {
            auto result = Call(self, &platform::ID3D11VideoContext::SubmitDecoderBuffers, arguments...);
            g_AcceptedSubmissions += SUCCEEDED(result) ? 1 : 0;
            return result;
        })
        .FORWARD(ID3D11VideoContext, DecoderEndFrame);

// The immediate context, for which the simulated one answers only with its
// video context, and which ends and reads the decoder's event queries.
const Table kDeviceContext =
    Table([](Double* self, REFIID interfaceId, void** object) {
        return Ask<platform::ID3D11VideoContext>(self, interfaceId, kVideoContext, object);
    })
        .FORWARD(ID3D11DeviceContext, End)
        .FORWARD(ID3D11DeviceContext, Flush)
        .Set(&ID3D11DeviceContext::GetData, [](Double* self, auto... arguments) {
            auto result = Call(self, &platform::ID3D11DeviceContext::GetData, arguments...);
            g_FinishedQueries += result == S_OK ? 1 : 0;
            return result;
        });
template <>
const Table* const g_TableOf<platform::ID3D11Device> = &kDevice;
template <>
const Table* const g_TableOf<platform::ID3D11DeviceContext> = &kDeviceContext;

// Stand-ins for CreateDXGIFactory1 and D3D11CreateDevice, over the simulated platform's.
HRESULT WINAPI CreateFactory(REFIID interfaceId, void** factory)
{
    void* simulated = nullptr;
    HRESULT result = g_Backing->CreateDXGIFactory1(reinterpret_cast<const platform::GUID&>(interfaceId), &simulated);
    *factory = kFactory.Wrap<void>(static_cast<platform::IDXGIFactory2*>(simulated));
    return result;
}

HRESULT WINAPI CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                            const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                            ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    return g_Backing->D3D11CreateDevice(
        Ours<platform::IDXGIAdapter1*>(adapter), Ours<platform::D3D_DRIVER_TYPE>(driverType), software, flags,
        Ours<const platform::D3D_FEATURE_LEVEL*>(featureLevels), featureLevelCount, sdkVersion,
        Ours<platform::ID3D11Device**>(device), Ours<platform::D3D_FEATURE_LEVEL*>(featureLevel),
        Ours<platform::ID3D11DeviceContext**>(context));
}

// Every frame of the data set through the Windows code path: decoder, Direct3D
// 11 layer, COM objects implementing the SDK's interfaces, simulated device.
TEST(D3D11Layer, DecodesTheDataSetThroughTheSdkInterfaces)
{
    // The doubles stay in place until the program ends.
    platform::g_D3D11EntryPoints = {&CreateFactory, &CreateDevice};
    LogCapture log;
    int outputChanges = 0;
    std::vector<int> errors;
    // The decoder's default platform: the Direct3D 11 layer on Windows.
    DXVA2VideoDecoder decoder([&](size_t, size_t, float, float) { ++outputChanges; },
                              [&](int code) { errors.push_back(code); });
    ASSERT_EQ(decoder.Init(), 1) << ::testing::PrintToString(log.messages());
    ASSERT_TRUE(decoder.Adapter());
    // No PCI vendor: the display devices are not asked for its driver's date.
    EXPECT_EQ(decoder.Adapter()->driverDate, std::nullopt);
    for (const BenchCase& benchCase : g_BenchCases) {
        for (int32_t index = 0; index < static_cast<int32_t>(benchCase.frameCount); ++index) {
            std::unique_ptr<VideoFrame> frame = std::make_unique<VideoFileFrame>(FrameFileName(benchCase, index));
            ASSERT_GT(decoder.Decode(frame), 0) << FrameFileName(benchCase, index)
                                                << ::testing::PrintToString(log.messages());
        }
        // As the benchmark does after a case's last frame.
        ASSERT_EQ(decoder.WaitUntilDecoded(), 0) << ::testing::PrintToString(log.messages());
    }
    // 8 cases of 30 frames, each accepted by the simulated device, and the
    // wait after each case answered at once.
    EXPECT_EQ(g_AcceptedSubmissions, 240);
    EXPECT_EQ(g_FinishedQueries, 8);
    EXPECT_EQ(outputChanges, 8);
    EXPECT_TRUE(errors.empty());
}

// The capability probe through the layer sees the test machine exactly as it
// does directly: adapter records, flags and identifiers, driver versions,
// formats, decoder creation and ID3D11VideoDevice1 all cross the SDK's
// interfaces. Everything the probe made through the layer is released again.
// The driver dates are the system's own here, not the machine's: whatever
// SetupAPI finds, a date or null.
TEST(D3D11Layer, ProbesTheTestMachineThroughTheSdkInterfaces)
{
    platform::g_D3D11EntryPoints = {&CreateFactory, &CreateDevice};
    capability_test::TestMachine machine;
    LogCapture log;
    nlohmann::json direct = CapabilityMessage(ProbeCapabilities(machine));
    g_Backing = &machine;
    nlohmann::json layered = CapabilityMessage(ProbeCapabilities());
    g_Backing = &g_Simulated;
    for (nlohmann::json* message : {&direct, &layered}) {
        for (nlohmann::json& adapter : (*message)["capabilities"]["adapters"]) {
            const nlohmann::json& date = adapter["driverDate"];
            EXPECT_TRUE(message == &direct || date.is_null() || (date.is_string() && date.get<std::string>().size() == 10)) << date;
            adapter.erase("driverDate");
        }
    }
    EXPECT_EQ(layered, direct) << nlohmann::json::diff(direct, layered).dump(1);
    EXPECT_EQ(direct["capabilities"]["adapters"].size(), 3u);
    EXPECT_EQ(machine.liveObjects, 0);
}

}  // namespace
