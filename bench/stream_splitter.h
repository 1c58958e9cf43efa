#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class NalClassifier;

// What the splitter learned from the bytes it has been given so far.
struct SplitStep {
    enum class Kind {
        NeedMore,  // the unit may go on: call again with the same start and more bytes
        Unit,      // an access unit of `size` bytes begins the window
        End,       // the stream is used up
        Failed,    // the stream is refused; AccessUnitSplitter::Error says why
    };
    static constexpr size_t kNoSps = SIZE_MAX;

    Kind kind = Kind::NeedMore;
    size_t size = 0;
    size_t spsOffset = kNoSps;  // Unit: start code of its first SPS, from the unit's start
};

// Cuts an H.264 (codec 0) or H.265 (codec 1) Annex B stream into access
// units as its bytes arrive, parsing every NAL unit with the project's
// parsers. A new unit begins at an access unit delimiter, at a parameter set
// or prefix SEI after the previous picture's slices, or at a picture's first
// slice; parameter sets or SEI after the last picture stay with it. Units
// cover the stream without gaps: the first keeps any leading zero bytes.
//
// To know where a unit ends the splitter must see the next unit's first
// slice whole, so the window it is given holds one unit and the start of the
// next; the caller decides how large it may grow.
class AccessUnitSplitter {
public:
    explicit AccessUnitSplitter(uint8_t codec);
    ~AccessUnitSplitter();
    AccessUnitSplitter(const AccessUnitSplitter&) = delete;
    AccessUnitSplitter& operator=(const AccessUnitSplitter&) = delete;

    // Looks for the end of the unit that begins at `window`: the stream's
    // first byte at first, after a Unit the byte `size` bytes further on.
    // `atEnd` says that no byte of the stream follows the window.
    SplitStep Next(const uint8_t* window, size_t size, bool atEnd);
    // Why the stream was refused, with the offset in the stream where it helps.
    const std::string& Error() const { return m_Error; }
    // Back to the stream's first byte; the parser state stays.
    void Restart();
    // Stream offset of the window's first byte.
    uint64_t UnitOffset() const { return m_UnitOffset; }

private:
    SplitStep Fail(std::string message);
    bool FindFirstStartCode(const uint8_t* window, size_t size, bool atEnd, SplitStep& step);
    SplitStep EmitUnit(size_t size);

    std::unique_ptr<NalClassifier> m_Classifier;
    std::string m_Error;
    uint64_t m_UnitOffset = 0;
    bool m_Started = false;   // the stream's first start code was found
    bool m_Walked = false;    // the window's last NAL unit was classified (at the stream's end)
    bool m_Finished = false;  // the last unit was handed out, or the stream refused
    size_t m_NalHeader = 0;   // window offset of the next NAL unit's header byte
    uint32_t m_StartCodeLength = 0;
    size_t m_ScanFrom = 0;          // where the search for that unit's end resumes
    size_t m_Boundary = SIZE_MAX;   // where the next unit begins, once a NAL unit has opened it
    size_t m_SpsOffset = SplitStep::kNoSps;      // first SPS of the current unit
    size_t m_NextSpsOffset = SplitStep::kNoSps;  // first SPS after m_Boundary
    bool m_UnitHasPicture = false;  // of the unit being collected (after m_Boundary when there is one)
    bool m_SawPicture = false;
    bool m_SawSps = false;
};
