#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The bytes of one loaded frame file. The block comes from a process-wide
// spare and goes back to it when the storage is destroyed, so the
// benchmark's load, decode, delete cycle reuses memory that is already
// mapped instead of allocating and zero-filling a fresh buffer per frame.
class FrameStorage {
public:
    FrameStorage() = default;
    ~FrameStorage();
    FrameStorage(const FrameStorage&) = delete;
    FrameStorage& operator=(const FrameStorage&) = delete;

    // Makes room for `size` bytes whose values are unspecified until written.
    // False, with the storage unchanged, when the memory cannot be had.
    bool Resize(size_t size);

    uint8_t* data() { return m_Block.get(); }
    const uint8_t* data() const { return m_Block.get(); }
    size_t size() const { return m_Size; }

    // Sets the spare aside at `capacity` bytes and touches every page of it,
    // so that loads up to that size meet neither allocation nor page faults.
    static void Prepare(size_t capacity);

private:
    std::unique_ptr<uint8_t[]> m_Block;
    size_t m_Capacity = 0;
    size_t m_Size = 0;
};
