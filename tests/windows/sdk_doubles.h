#pragma once

#include "decoder/platform/d3d11/d3d11_entry_points.h"

// Stand-ins for CreateDXGIFactory1 and D3D11CreateDevice where the system has
// no video decoding: the factory, adapter, device, contexts, decoder, textures
// and views they hand out are COM objects of the test's own, each forwarding
// the layer's calls to the simulated video device, which checks every call as
// a strict driver would.
namespace sdk_doubles {

platform::D3D11EntryPoints EntryPoints();

// Submissions the simulated device accepted through the video context double.
extern int g_AcceptedSubmissions;

}  // namespace sdk_doubles
