#include "bench/program_code.h"

#include <windows.h>

std::vector<std::span<const std::byte>> ProgramCodeRanges()
{
    std::vector<std::span<const std::byte>> ranges;
    // The executable's image as mapped: its executable sections are its code
    // (one not readable, which a read would fault on, is left out).
    const auto* base = reinterpret_cast<const std::byte*>(GetModuleHandleW(nullptr));
    if (!base)
        return ranges;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD index = 0; index < nt->FileHeader.NumberOfSections; ++index, ++section) {
        constexpr DWORD kReadableCode = IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ;
        if ((section->Characteristics & kReadableCode) == kReadableCode)
            ranges.emplace_back(base + section->VirtualAddress, section->Misc.VirtualSize);
    }
    return ranges;
}
