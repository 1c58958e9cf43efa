// make-frame-files: cuts an H.264 or H.265 Annex B stream into one file per
// access unit, in the format the benchmark reads.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/video_frame.h"
#include "tools/access_unit_splitter.h"
#include "tools/frame_file_writer.h"

namespace {

constexpr const char* kUsage =
    "usage: make-frame-files --codec h264|h265 [--fps <frames per second, default 30>] <stream> <output directory>\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "make-frame-files: %s\n", message.c_str());
    return 1;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::error_code statusError;
    if (std::filesystem::exists(path, statusError) && !std::filesystem::is_regular_file(path, statusError)) {
        error = "cannot open " + path + ": not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in.is_open()) {
        error = "cannot open " + path;
        return false;
    }
    std::streamoff length = in.tellg();
    if (length < 0) {
        error = "cannot read " + path;
        return false;
    }
    if (static_cast<uint64_t>(length) > kMaxStreamSize) {
        error = path + " is larger than " + std::to_string(kMaxStreamSize) + " bytes";
        return false;
    }
    bytes.resize(static_cast<size_t>(length));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), length);
    if (in.gcount() != length) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string codecName;
    double fps = 30.0;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if ((argument == "--codec" || argument == "--fps") && i + 1 < argc) {
            std::string value = argv[++i];
            if (argument == "--codec") {
                codecName = value;
            } else {
                char* end = nullptr;
                fps = std::strtod(value.c_str(), &end);
                if (end == value.c_str() || *end != '\0' || !(fps > 0.0) || fps > 1000.0)
                    return Fail("--fps wants a frame rate above 0 and up to 1000, not \"" + value + "\"");
            }
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!argument.empty() && argument[0] == '-') {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2 || codecName.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    uint8_t codec;
    if (codecName == "h264")
        codec = kCodecH264;
    else if (codecName == "h265")
        codec = kCodecH265;
    else
        return Fail("unknown codec \"" + codecName + "\" (h264 or h265)");

    const std::string& input = positional[0];
    const std::string& outputDirectory = positional[1];
    std::string error;
    std::vector<uint8_t> stream;
    if (!ReadWholeFile(input, stream, error))
        return Fail(error);

    // The whole stream is checked before the first file is written.
    std::vector<AccessUnitRange> units;
    if (!SplitAccessUnits(codec, stream.data(), stream.size(), units, error))
        return Fail(input + ": " + error);
    if (!WriteFrameFiles(outputDirectory, codec, fps, stream.data(), units, error))
        return Fail(error);

    std::printf("make-frame-files: %zu frames from %s in %s\n", units.size(), input.c_str(), outputDirectory.c_str());
    return 0;
}
