#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "bench/sha256.h"

// The checksums of the benchmark's frame files, <data>/SHA256SUMS as
// `sha256sum` writes it: "<64 hex digits>  <name relative to data>" per line.
// Without the file the run is unchecked; a file that cannot be read or parsed
// is an error of its own, never an unchecked run.
class DataManifest {
public:
    enum class State { absent, loaded, invalid };

    // The manifest is read whole; a larger file is refused, so that a wrong
    // file cannot take the program's memory.
    static constexpr size_t kMaxManifestBytes = 4 * 1024 * 1024;

    // Reads <dataDirectory>/SHA256SUMS; the program's frame paths live under
    // "./data".
    static DataManifest Load(const std::string& dataDirectory = "./data");
    // The same from the manifest's bytes; `dataDirectory` is where it lives.
    static DataManifest Parse(std::string_view bytes, const std::string& dataDirectory);

    State GetState() const { return m_State; }
    // Why the manifest is invalid: one line beginning "data: ".
    const std::string& Error() const { return m_Error; }
    // The manifest's identity: the SHA-256 hex of its bytes (loaded only).
    const std::string& Identity() const { return m_Identity; }
    size_t FileCount() const { return m_Files.size(); }

    // Hashes the file at `framePath`, a path as the program names it (such
    // as "./data/h264/1280_720/frame_3.frame"). Empty when it matches its
    // entry; otherwise the reason, one line beginning "data: <framePath>".
    // Only meaningful for a loaded manifest.
    std::string Check(const std::string& framePath) const;

private:
    DataManifest() = default;
    static DataManifest Invalid(std::string error);
    // `framePath` as the manifest names it; empty when it lies outside the
    // data folder.
    std::string ManifestName(const std::string& framePath) const;

    State m_State = State::absent;
    std::string m_Error;
    std::string m_Identity;
    std::string m_DataDirectory;  // normalised, '/' separated
    std::string m_DisplayName;    // "data/SHA256SUMS" for messages
    std::map<std::string, Sha256Digest> m_Files;
};
