#include "bitstream/start_code_scan.h"

#include <bit>
#include <cstring>
#include <iterator>

#if defined(__x86_64__) || defined(_M_X64)
#define TARSEL_SCAN_X86_64 1
#include <immintrin.h>
#endif

namespace {

bool IsStartCodeAt(const uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

// The last few positions, and all of a short buffer.
const uint8_t* ScanBytes(const uint8_t* p, const uint8_t* end)
{
    for (; end - p >= 4; ++p) {
        if (IsStartCodeAt(p))
            return p;
    }
    return end;
}

// Non-zero when the little-endian word may hold a zero byte in byte 0, 1, 3,
// 5 or 7. Every pair of adjacent bytes includes one of those, so a word that
// passes cannot hold the 00 00 of a start code (the pair across the next word
// boundary is caught by byte 7 here or byte 0 of the next word).
constexpr uint64_t kZeroFilterSubtrahend = 0x0100010001000101ull;
constexpr uint64_t kZeroFilterHighBits = 0x8000800080008080ull;

bool MayHoldZeroPair(const uint8_t* word)
{
    uint64_t w;
    std::memcpy(&w, word, sizeof(w));
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap64(w);
    return ((w - kZeroFilterSubtrahend) & ~w & kZeroFilterHighBits) != 0;
}

const uint8_t* ScanPortable(const uint8_t* from, const uint8_t* end)
{
    const uint8_t* p = from;
    while (end - p >= 4 && (reinterpret_cast<uintptr_t>(p) & 7u) != 0) {
        if (IsStartCodeAt(p))
            return p;
        ++p;
    }
    // All eight positions of a word may start a start code while 11 bytes remain.
    while (end - p >= 11) {
        if (MayHoldZeroPair(p)) {
            for (int k = 0; k < 8; ++k) {
                if (IsStartCodeAt(p + k))
                    return p + k;
            }
        }
        p += 8;
    }
    return ScanBytes(p, end);
}

// Two passes where there is no SIMD: the copy, then the scan over the source.
void CopyThenScanPortable(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts)
{
    if (size > 0)
        std::memcpy(destination, source, size);
    const uint8_t* end = source + size;
    for (const uint8_t* p = source; (p = ScanPortable(p, end)) != end; p += 3)
        starts.push_back(static_cast<uint32_t>(p - source));
}

#ifdef TARSEL_SCAN_X86_64

// The SIMD scans take 64 bytes per step as one bit per byte that is 00. Bit j
// of `pairs` stands for the position two bytes before the step plus j, and
// is set where that byte and the next are 00; the zero bits that reach back
// into the previous step come in `carried`. Pairs of zeros are rare in coded
// slices, so only a step that holds one also asks which bytes are 01. A step
// is only taken while a byte follows it, so each start code it reports has
// that byte inside the buffer.
constexpr ptrdiff_t kStep = 64;

inline uint64_t ZeroPairs(uint64_t zeros, uint64_t carried)
{
    return ((zeros << 2) | (carried >> 62)) & ((zeros << 1) | (carried >> 63));
}

// The scan's steps start on a 64-byte boundary, so that no load straddles a
// cache line; the bytes before it are checked one by one.
template <typename ByteMask>
const uint8_t* ScanInSteps(const uint8_t* from, const uint8_t* end, ByteMask mask)
{
    // Compared as an offset first: a pointer past the end may not be formed.
    const ptrdiff_t lead = static_cast<ptrdiff_t>((0 - reinterpret_cast<uintptr_t>(from)) & (kStep - 1));
    if (end - from - lead <= kStep)
        return ScanBytes(from, end);
    const uint8_t* p = from + lead;
    for (const uint8_t* q = from; q < p; ++q) {
        if (IsStartCodeAt(q))
            return q;
    }
    uint64_t carried = 0;
    while (end - p > kStep) {
        uint64_t zeros = mask(p, 0);
        uint64_t pairs = ZeroPairs(zeros, carried);
        if (pairs) {
            uint64_t hits = pairs & mask(p, 1);
            if (hits)
                return p - 2 + std::countr_zero(hits);
        }
        carried = zeros;
        p += kStep;
    }
    // The last two positions of the last step are still open.
    return ScanBytes(p - 2, end);
}

// The copy walks the same steps from the start of the source (whose
// alignment it does not choose), storing each step as it goes. Its first
// test is cheaper: a start code always holds a 16-bit word, at an even
// offset from the step, that reads 00 00 or 00 01, and such words are rare
// in coded slices. Only a step that holds one, or follows one that did (its
// last two positions are still open), is tested byte by byte.
template <typename CopyStep, typename ByteMask>
void CopyInSteps(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts,
                 CopyStep copyStep, ByteMask mask)
{
    size_t offset = 0;
    bool open = false;
    while (size - offset > static_cast<size_t>(kStep)) {
        bool candidate = copyStep(destination + offset, source + offset);
        if (candidate || open) {
            uint64_t carried = 0;
            if (offset >= 2)
                carried = uint64_t(source[offset - 2] == 0) << 62 | uint64_t(source[offset - 1] == 0) << 63;
            uint64_t pairs = ZeroPairs(mask(source + offset, 0), carried);
            for (uint64_t hits = pairs & mask(source + offset, 1); hits; hits &= hits - 1)
                starts.push_back(static_cast<uint32_t>(offset - 2 + static_cast<size_t>(std::countr_zero(hits))));
        }
        open = candidate;
        offset += kStep;
    }
    if (size > offset)
        std::memcpy(destination + offset, source + offset, size - offset);
    for (size_t q = offset >= 2 ? offset - 2 : 0; q + 4 <= size; ++q) {
        if (IsStartCodeAt(source + q))
            starts.push_back(static_cast<uint32_t>(q));
    }
}

inline uint64_t MoveMask(__m128i bytes, __m128i value)
{
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, value)));
}

// Bit i set where byte i of the 64 at p equals `value`.
uint64_t ByteMaskSse2(const uint8_t* p, uint8_t value)
{
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    uint64_t mask = 0;
    for (int part = 0; part < 4; ++part)
        mask |= MoveMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part)), wanted) << (16 * part);
    return mask;
}

const uint8_t* ScanSse2(const uint8_t* from, const uint8_t* end)
{
    return ScanInSteps(from, end, ByteMaskSse2);
}

void CopySse2(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts)
{
    auto copyStep = [](uint8_t* to, const uint8_t* from) {
        const __m128i zeroWord = _mm_setzero_si128();
        const __m128i zeroOneWord = _mm_set1_epi16(0x0100);
        __m128i candidates = _mm_setzero_si128();
        for (int part = 0; part < 4; ++part) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * part));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * part), bytes);
            candidates = _mm_or_si128(candidates, _mm_or_si128(_mm_cmpeq_epi16(bytes, zeroWord),
                                                               _mm_cmpeq_epi16(bytes, zeroOneWord)));
        }
        return _mm_movemask_epi8(candidates) != 0;
    };
    CopyInSteps(destination, source, size, starts, copyStep, ByteMaskSse2);
}

__attribute__((target("avx2"))) inline uint64_t MoveMaskAvx2(__m256i low, __m256i high, __m256i value)
{
    uint64_t lowMask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, value)));
    uint64_t highMask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, value)));
    return lowMask | highMask << 32;
}

__attribute__((target("avx2"))) inline uint64_t ByteMaskAvx2(const uint8_t* p, uint8_t value)
{
    __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return MoveMaskAvx2(low, high, _mm256_set1_epi8(static_cast<char>(value)));
}

// The shared step loops are compiled for the baseline, the AVX2 steps are
// not, so nothing would inline a step into its loop: flatten compiles the
// whole loop for AVX2 with the step inside it, instead of one call a step.
__attribute__((target("avx2"), flatten)) const uint8_t* ScanAvx2(const uint8_t* from, const uint8_t* end)
{
    return ScanInSteps(from, end, [](const uint8_t* p, uint8_t value) __attribute__((target("avx2"))) {
        return ByteMaskAvx2(p, value);
    });
}

__attribute__((target("avx2"), flatten)) void CopyAvx2(uint8_t* destination, const uint8_t* source, size_t size,
                                                        std::vector<uint32_t>& starts)
{
    auto copyStep = [](uint8_t* to, const uint8_t* from) __attribute__((target("avx2"))) {
        // A word is 00 00 or 00 01 exactly when it is zero once the low bit of its second byte is cleared.
        const __m256i ignoreLowBitOfSecondByte = _mm256_set1_epi16(static_cast<short>(0xFEFF));
        __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), high);
        __m256i lowest = _mm256_min_epu16(_mm256_and_si256(low, ignoreLowBitOfSecondByte),
                                          _mm256_and_si256(high, ignoreLowBitOfSecondByte));
        __m256i candidates = _mm256_cmpeq_epi16(lowest, _mm256_setzero_si256());
        return !_mm256_testz_si256(candidates, candidates);
    };
    auto mask = [](const uint8_t* p, uint8_t value) __attribute__((target("avx2"))) { return ByteMaskAvx2(p, value); };
    CopyInSteps(destination, source, size, starts, copyStep, mask);
}

bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const StartCodeScanVariant kWithAvx2[] = {
    {"portable", ScanPortable, CopyThenScanPortable}, {"sse2", ScanSse2, CopySse2}, {"avx2", ScanAvx2, CopyAvx2}};
const StartCodeScanVariant kWithoutAvx2[] = {{"portable", ScanPortable, CopyThenScanPortable}, {"sse2", ScanSse2, CopySse2}};

#else

const StartCodeScanVariant kPortableOnly[] = {{"portable", ScanPortable, CopyThenScanPortable}};

#endif

const StartCodeScanVariant& Fastest()
{
    std::span<const StartCodeScanVariant> variants = StartCodeScanVariants();
    return variants.back();
}

}  // namespace

const uint8_t* ScanForStartCode(const uint8_t* from, const uint8_t* end)
{
    static const StartCodeScan scan = Fastest().scan;
    return scan(from, end);
}

void CopyFindingStartCodes(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts)
{
    static const StartCodeCopy copy = Fastest().copy;
    copy(destination, source, size, starts);
}

std::span<const StartCodeScanVariant> StartCodeScanVariants()
{
#ifdef TARSEL_SCAN_X86_64
    if (HasAvx2())
        return kWithAvx2;
    return kWithoutAvx2;
#else
    return kPortableOnly;
#endif
}
