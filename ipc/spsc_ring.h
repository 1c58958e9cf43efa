#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// A lock-free ring for one producer thread and one consumer thread, holding
// owned objects. One slot always stays free to tell full from empty, so a
// ring of N slots holds at most N - 1 objects.
//
// The slot table, the read index and the write index each sit in a block of
// their own, so the producer's index and the consumer's index never share a
// cache line (128 bytes covers adjacent-line prefetching too).
template <typename Item, uint32_t SlotCount>
class SpscRing {
public:
    static constexpr size_t kSeparation = 128;
    static_assert(SlotCount >= 2, "a ring needs at least two slots");

    SpscRing()
    {
        m_Table.slots = new std::unique_ptr<Item>[SlotCount];
    }

    ~SpscRing()
    {
        delete[] m_Table.slots;
    }

    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    // Producer side. On success the ring owns the item; when the ring is
    // full the item stays with the caller.
    bool tryPush(std::unique_ptr<Item>& item)
    {
        uint32_t write = m_Write.index.load(std::memory_order_relaxed);
        uint32_t next = Advance(write);
        if (next == m_Read.index.load(std::memory_order_acquire))
            return false;
        m_Table.slots[write] = std::move(item);
        m_Write.index.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side. Null when the ring is empty.
    std::unique_ptr<Item> tryPop()
    {
        uint32_t read = m_Read.index.load(std::memory_order_relaxed);
        if (read == m_Write.index.load(std::memory_order_acquire))
            return nullptr;
        std::unique_ptr<Item> item = std::move(m_Table.slots[read]);
        m_Read.index.store(Advance(read), std::memory_order_release);
        return item;
    }

    bool empty() const
    {
        return m_Read.index.load(std::memory_order_acquire) == m_Write.index.load(std::memory_order_acquire);
    }

    static constexpr uint32_t capacity() { return SlotCount - 1; }

private:
    static uint32_t Advance(uint32_t index) { return index + 1 == SlotCount ? 0 : index + 1; }

    struct alignas(kSeparation) Table {
        uint32_t slotCount = SlotCount;
        std::unique_ptr<Item>* slots = nullptr;
    };
    struct alignas(kSeparation) Index {
        std::atomic<uint32_t> index{0};
    };

    Table m_Table;
    Index m_Read;
    Index m_Write;
};
