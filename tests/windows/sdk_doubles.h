#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>

// Stand-ins for CreateDXGIFactory1 and D3D11CreateDevice: the factory,
// adapter, device, video device, video context, decoder, textures and views
// they hand out are COM objects implementing the SDK's interfaces, each
// forwarding to the simulated video device, which checks every call as a
// strict driver would.
namespace sdk_doubles {

HRESULT WINAPI CreateDXGIFactory1(REFIID interfaceId, void** factory);
HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                 const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                 ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                                 ID3D11DeviceContext** context);

// Submissions the simulated device accepted through the video context double.
extern int g_AcceptedSubmissions;

}  // namespace sdk_doubles
