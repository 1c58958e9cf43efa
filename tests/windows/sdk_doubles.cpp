#include "sdk_doubles.h"

#include <array>
#include <atomic>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "decoder/platform/simulated_video_device.h"

namespace sdk_doubles {

int g_AcceptedSubmissions = 0;

namespace {

platform::SimulatedVideoPlatform g_Simulated;

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
    using Query = HRESULT (*)(Double*, REFIID, void**);
    // On x86-64 a method and a function taking its object first are called
    // alike, and the caller clears the arguments: one refusal serves all.
    static_assert(sizeof(void*) == 8);
    explicit Table(Query query = nullptr)
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
    std::array<Entry, 80> m_Slots;
};

// The simulated object behind one of our doubles (those whose Release is
// ours); null for anyone else's object, which the simulated device refuses.
template <typename Backing, typename Sdk>
Backing* BackingOf(Sdk* object)
{
    auto* own = reinterpret_cast<Double*>(object);
    bool ours = object && own->m_Table[2] == reinterpret_cast<Entry>(&Release);
    return ours ? dynamic_cast<Backing*>(own->m_Backing) : nullptr;
}

// An SDK argument as the simulated device takes it: our doubles as the
// objects behind them; records, enumerations and GUIDs, the SDK's byte for
// byte (the layer proves it at compile time), as they are.
template <typename Sdk>
struct Ours {
    Sdk value;
    template <typename Our>
    operator Our() const
    {
        if constexpr (std::is_base_of_v<platform::PlatformUnknown, std::remove_pointer_t<Our>>)
            return BackingOf<std::remove_pointer_t<Our>>(value);
        else if constexpr (std::is_pointer_v<Our>)
            return reinterpret_cast<Our>(value);
        else
            return static_cast<Our>(value);
    }
};

// Calls a method of the simulated object behind a double.
template <typename Class, typename Result, typename... Parameters, typename... Arguments>
Result Call(Double* self, Result (Class::*method)(Parameters...), Arguments... arguments)
{
    return (BackingOf<Class>(self)->*method)(Ours{arguments}...);
}

template <auto kMethod>
auto ForwardTo()
{
    return [](Double* self, auto... arguments) { return Call(self, kMethod, arguments...); };
}

// The method of the same name on the simulated object.
#define FORWARD(Interface, Method) Set(&Interface::Method, ForwardTo<&platform::Interface::Method>())

// Calls a simulated method whose last argument receives an object, and hands
// out a double over that object.
template <typename Sdk, typename Class, typename Result, typename... Parameters, typename... Arguments>
Result HandOut(Sdk** object, const Table& table, Double* self, Result (Class::*method)(Parameters...),
               Arguments... arguments)
{
    using Handed = std::tuple_element_t<sizeof...(Parameters) - 1, std::tuple<Parameters...>>;
    std::remove_pointer_t<Handed> simulated = nullptr;
    Result result = Call(self, method, arguments..., &simulated);
    *object = table.Wrap<Sdk>(simulated);
    return result;
}

// A double over the interface the simulated object answers for, if it does.
template <typename Backing>
HRESULT Ask(Double* self, REFIID interfaceId, const Table& table, void** object)
{
    void* simulated = nullptr;
    HRESULT result = self->m_Backing->QueryInterface(reinterpret_cast<const platform::GUID&>(interfaceId), &simulated);
    *object = table.Wrap<void>(static_cast<Backing*>(simulated));
    return result;
}

// The layer calls nothing on textures, views and decoders but Release.
const Table kPlain;
const Table kAdapter = Table().FORWARD(IDXGIAdapter1, GetDesc1);
const Table kFactory = Table().Set(&IDXGIFactory1::EnumAdapters1, [](Double* self, auto index, auto** adapter) {
    return HandOut(adapter, kAdapter, self, &platform::IDXGIFactory2::EnumAdapters1, index);
});
const Table kMultithread = Table().FORWARD(ID3D10Multithread, SetMultithreadProtected);

const Table kVideoDevice =
    Table()
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderProfileCount)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderProfile)
        .FORWARD(ID3D11VideoDevice, CheckVideoDecoderFormat)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderConfigCount)
        .FORWARD(ID3D11VideoDevice, GetVideoDecoderConfig)
        .Set(&ID3D11VideoDevice::CreateVideoDecoder, [](Double* self, auto* description, auto* config, auto** decoder) {
            return HandOut(decoder, kPlain, self, &platform::ID3D11VideoDevice::CreateVideoDecoder, description,
                           config);
        })
        .Set(&ID3D11VideoDevice::CreateVideoDecoderOutputView,
             [](Double* self, auto* texture, auto* description, auto** view) {
                 return HandOut(view, kPlain, self, &platform::ID3D11VideoDevice::CreateVideoDecoderOutputView,
                                texture, description);
             });

// The simulated device answers for its video device and multithread
// interface, and for nothing else.
const Table kDevice =
    Table([](Double* self, REFIID interfaceId, void** object) {
        if (interfaceId == __uuidof(ID3D11VideoDevice))
            return Ask<platform::ID3D11VideoDevice>(self, interfaceId, kVideoDevice, object);
        return Ask<platform::ID3D10Multithread>(self, interfaceId, kMultithread, object);
    })
        .FORWARD(ID3D11Device, CheckFormatSupport)
        .Set(&ID3D11Device::CreateTexture2D, [](Double* self, auto* description, auto* initialData, auto** texture) {
            return HandOut(texture, kPlain, self, &platform::ID3D11Device::CreateTexture2D, description, initialData);
        });

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
// video context.
const Table kDeviceContext = Table([](Double* self, REFIID interfaceId, void** object) {
    return Ask<platform::ID3D11VideoContext>(self, interfaceId, kVideoContext, object);
});

// Stand-ins for the system's two functions, over the simulated platform's.
HRESULT WINAPI CreateDXGIFactory1(REFIID interfaceId, void** factory)
{
    void* simulated = nullptr;
    HRESULT result = g_Simulated.CreateDXGIFactory1(reinterpret_cast<const platform::GUID&>(interfaceId), &simulated);
    *factory = kFactory.Wrap<void>(static_cast<platform::IDXGIFactory2*>(simulated));
    return result;
}

HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                 const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                 ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    platform::ID3D11Device* simulatedDevice = nullptr;
    platform::ID3D11DeviceContext* simulatedContext = nullptr;
    HRESULT result = g_Simulated.D3D11CreateDevice(BackingOf<platform::IDXGIAdapter1>(adapter), Ours{driverType},
                                                   software, flags, Ours{featureLevels}, featureLevelCount, sdkVersion,
                                                   &simulatedDevice, Ours{featureLevel}, &simulatedContext);
    *device = kDevice.Wrap<ID3D11Device>(simulatedDevice);
    *context = kDeviceContext.Wrap<ID3D11DeviceContext>(simulatedContext);
    return result;
}

}  // namespace

platform::D3D11EntryPoints EntryPoints()
{
    return {&CreateDXGIFactory1, &D3D11CreateDevice};
}

}  // namespace sdk_doubles
