#include "bench/data_manifest.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr const char* kManifestName = "SHA256SUMS";
constexpr size_t kHexDigits = 64;

// Lexically normalised path, '/' separated: "." and empty parts dropped, ".."
// taking away the part before it; "." when nothing is left. Works on the
// text alone, so that no name, however odd, meets the platform's conversions.
std::string NormalizePath(std::string_view path, bool backslashSeparates)
{
    const bool absolute = !path.empty() && (path[0] == '/' || (backslashSeparates && path[0] == '\\'));
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && path[end] != '/' && !(backslashSeparates && path[end] == '\\'))
            ++end;
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normal = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            normal += '/';
        normal += parts[i];
    }
    return normal.empty() ? "." : normal;
}

// Undoes sha256sum's escaping of a name holding a backslash or a line break.
bool Unescape(std::string_view escaped, std::string& name)
{
    name.clear();
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            name += escaped[i];
            continue;
        }
        if (++i == escaped.size())
            return false;
        switch (escaped[i]) {
        case '\\': name += '\\'; break;
        case 'n': name += '\n'; break;
        case 'r': name += '\r'; break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

DataManifest DataManifest::Invalid(std::string error)
{
    DataManifest manifest;
    manifest.m_State = State::invalid;
    manifest.m_Error = std::move(error);
    return manifest;
}

DataManifest DataManifest::Load(const std::string& dataDirectory)
{
    const std::string display = NormalizePath(dataDirectory, false) + "/" + kManifestName;
    const std::filesystem::path path = std::filesystem::path(dataDirectory) / kManifestName;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        DataManifest manifest;
        manifest.m_DisplayName = display;
        return manifest;
    }
    if (error)
        return Invalid("data: " + display + " cannot be read: " + error.message());
    if (status.type() != std::filesystem::file_type::regular)
        return Invalid("data: " + display + " is no regular file");

    std::ifstream file(path, std::ios::binary);
    std::string bytes(kMaxManifestBytes + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file && !file.eof())
        return Invalid("data: " + display + " cannot be read");
    bytes.resize(static_cast<size_t>(file.gcount()));
    if (bytes.size() > kMaxManifestBytes)
        return Invalid("data: " + display + " is larger than " + std::to_string(kMaxManifestBytes) + " bytes");
    return Parse(bytes, dataDirectory);
}

DataManifest DataManifest::Parse(std::string_view bytes, const std::string& dataDirectory)
{
    DataManifest manifest;
    manifest.m_DataDirectory = NormalizePath(dataDirectory, false);
    manifest.m_DisplayName = manifest.m_DataDirectory + "/" + kManifestName;
    const std::string where = "data: " + manifest.m_DisplayName;

    std::map<std::string, size_t> firstLines;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        // A manifest saved on Windows ends its lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;

        const std::string at = where + " line " + std::to_string(lineNumber) + ": ";
        const bool escaped = line.front() == '\\';
        if (escaped)
            line.remove_prefix(1);
        const std::optional<Sha256Digest> digest = ParseSha256Hex(line.substr(0, kHexDigits));
        if (!digest)
            return Invalid(at + "does not start with a checksum of " + std::to_string(kHexDigits) + " hex digits");
        // Two spaces in text mode, a space and '*' in binary mode.
        if (line.size() < kHexDigits + 2 || line[kHexDigits] != ' ' ||
            (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*'))
            return Invalid(at + "the checksum is not followed by two spaces and a file name");
        std::string name(line.substr(kHexDigits + 2));
        if (escaped && !Unescape(line.substr(kHexDigits + 2), name))
            return Invalid(at + "the file name has an unknown escape sequence");
        if (name.empty())
            return Invalid(at + "no file name");

        const std::string key = NormalizePath(name, false);
        const auto [first, added] = firstLines.emplace(key, lineNumber);
        if (!added)
            return Invalid(at + "names the file of line " + std::to_string(first->second) + " again");
        manifest.m_Files.emplace(key, *digest);
    }
    if (manifest.m_Files.empty())
        return Invalid(where + " lists no files");

    const std::optional<Sha256Digest> identity = Sha256Bytes(bytes);
    if (!identity)
        return Invalid(where + " cannot be hashed");
    manifest.m_Identity = Sha256Hex(*identity);
    manifest.m_State = State::loaded;
    return manifest;
}

std::string DataManifest::ManifestName(const std::string& framePath) const
{
#ifdef _WIN32
    const std::string path = NormalizePath(framePath, true);
#else
    const std::string path = NormalizePath(framePath, false);
#endif
    if (m_DataDirectory == ".")
        return path.rfind("..", 0) == 0 || path[0] == '/' ? std::string() : path;
    const std::string prefix = m_DataDirectory + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size())
                                                                                        : std::string();
}

std::string DataManifest::Check(const std::string& framePath) const
{
    const std::string what = "data: " + framePath;
    if (m_State != State::loaded)
        return what + " cannot be checked: no manifest is loaded";

    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(std::filesystem::path(framePath), error);
    if (status.type() == std::filesystem::file_type::not_found)
        return what + " is missing";
    if (error)
        return what + " cannot be read: " + error.message();
    if (status.type() != std::filesystem::file_type::regular)
        return what + " is no regular file";

    const auto entry = m_Files.find(ManifestName(framePath));
    if (entry == m_Files.end())
        return what + " is not listed in " + m_DisplayName;
    const std::optional<Sha256Digest> digest = Sha256File(framePath);
    if (!digest)
        return what + " cannot be read";
    if (*digest != entry->second)
        return what + " does not match " + m_DisplayName + " (truncated or altered)";
    return {};
}
