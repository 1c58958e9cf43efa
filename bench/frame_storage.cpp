#include "bench/frame_storage.h"

#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace {

// Blocks grow in steps so that slightly larger frames do not each allocate.
constexpr size_t kBlockGranule = 64 * 1024;

// One spare block at most: the largest one given back.
struct SpareBlock {
    std::mutex mutex;
    std::unique_ptr<uint8_t[]> block;
    size_t capacity = 0;
};

SpareBlock& Spare()
{
    static SpareBlock spare;
    return spare;
}

// Keeps the larger of the spare and `block`; the other one is freed.
void GiveBack(std::unique_ptr<uint8_t[]> block, size_t capacity)
{
    SpareBlock& spare = Spare();
    std::lock_guard lock(spare.mutex);
    if (capacity > spare.capacity) {
        std::swap(spare.block, block);
        spare.capacity = capacity;
    }
}

}  // namespace

FrameStorage::~FrameStorage()
{
    if (m_Block)
        GiveBack(std::move(m_Block), m_Capacity);
}

bool FrameStorage::Resize(size_t size)
{
    if (size <= m_Capacity) {
        m_Size = size;
        return true;
    }
    {
        SpareBlock& spare = Spare();
        std::lock_guard lock(spare.mutex);
        if (spare.capacity >= size) {
            std::swap(spare.block, m_Block);
            std::swap(spare.capacity, m_Capacity);
        }
    }
    if (size > m_Capacity) {
        size_t capacity = size > SIZE_MAX - kBlockGranule ? size : (size + kBlockGranule - 1) / kBlockGranule * kBlockGranule;
        // No zero fill: the caller writes every byte it keeps.
        uint8_t* block = new (std::nothrow) uint8_t[capacity];
        if (!block)
            return false;
        if (m_Block)
            GiveBack(std::move(m_Block), m_Capacity);
        m_Block.reset(block);
        m_Capacity = capacity;
    }
    m_Size = size;
    return true;
}

void FrameStorage::Prepare(size_t capacity)
{
    FrameStorage storage;
    if (capacity == 0 || !storage.Resize(capacity))
        return;
    std::memset(storage.data(), 0, capacity);
}
