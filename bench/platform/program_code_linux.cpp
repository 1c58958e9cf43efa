#include "bench/program_code.h"

#include <link.h>

std::vector<std::span<const std::byte>> ProgramCodeRanges()
{
    std::vector<std::span<const std::byte>> ranges;
    // The loader lists the executable first; its loadable, executable segments
    // are its code (an execute-only one, which a read would fault on, is left out).
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto& found = *static_cast<std::vector<std::span<const std::byte>>*>(data);
            for (ElfW(Half) index = 0; index < info->dlpi_phnum; ++index) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[index];
                if (segment.p_type == PT_LOAD && (segment.p_flags & (PF_X | PF_R)) == (PF_X | PF_R))
                    found.emplace_back(reinterpret_cast<const std::byte*>(info->dlpi_addr + segment.p_vaddr),
                                       segment.p_memsz);
            }
            return 1;
        },
        &ranges);
    return ranges;
}
