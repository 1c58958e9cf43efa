#pragma once

#include <atomic>
#include <tuple>

#include <windows.h>
#include <unknwn.h>
#include <d3d11.h>

// A COM object of the test's own: implements the listed SDK interfaces over
// one object of the simulated device (the backing), whose reference it holds.
template <typename Backing, typename... Interfaces>
class ComObject : public Interfaces... {
public:
    explicit ComObject(Backing* backing) : m_Backing(backing) {}
    virtual ~ComObject() { m_Backing->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override
    {
        *object = nullptr;
        if (interfaceId == __uuidof(IUnknown))
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        ((interfaceId == __uuidof(Interfaces) ? *object = static_cast<Interfaces*>(this) : nullptr), ...);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_References; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG remaining = --m_References;
        if (remaining == 0)
            delete this;
        return remaining;
    }

    Backing* const m_Backing;

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<ULONG> m_References{1};
};

// One line for each method the decoder never calls.
#define NOT_IMPLEMENTED(name, ...) \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }
#define DOES_NOTHING(type, name, ...) \
    type STDMETHODCALLTYPE name(__VA_ARGS__) override { return type(); }

// The methods every DXGI object and every Direct3D 11 device child has.
template <typename Backing, typename... Interfaces>
class DxgiObject : public ComObject<Backing, Interfaces...> {
public:
    using ComObject<Backing, Interfaces...>::ComObject;
    NOT_IMPLEMENTED(SetPrivateData, REFGUID, UINT, const void*)
    NOT_IMPLEMENTED(SetPrivateDataInterface, REFGUID, const IUnknown*)
    NOT_IMPLEMENTED(GetPrivateData, REFGUID, UINT*, void*)
    NOT_IMPLEMENTED(GetParent, REFIID, void**)
};

template <typename Backing, typename... Interfaces>
class DeviceChild : public ComObject<Backing, Interfaces...> {
public:
    using ComObject<Backing, Interfaces...>::ComObject;
    DOES_NOTHING(void, GetDevice, ID3D11Device**)
    NOT_IMPLEMENTED(GetPrivateData, REFGUID, UINT*, void*)
    NOT_IMPLEMENTED(SetPrivateData, REFGUID, UINT, const void*)
    NOT_IMPLEMENTED(SetPrivateDataInterface, REFGUID, const IUnknown*)
};
