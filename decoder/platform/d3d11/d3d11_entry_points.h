#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>

namespace platform {

// The two system functions through which the Direct3D 11 layer reaches DXGI
// and Direct3D; every other call goes to the objects they return. They are
// the system's own unless a test, on a system without video decoding, puts
// functions of its own here before the first decoder is made.
struct D3D11EntryPoints {
    decltype(&::CreateDXGIFactory1) m_CreateDXGIFactory1 = &::CreateDXGIFactory1;
    decltype(&::D3D11CreateDevice) m_D3D11CreateDevice = &::D3D11CreateDevice;
};

extern D3D11EntryPoints g_D3D11EntryPoints;

}  // namespace platform
