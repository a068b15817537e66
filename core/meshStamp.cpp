#include "meshStamp.h"

#include "textscan.h"

#include <cstdio>

#include <xxhash.h>

std::string contentHash(std::string_view bytes) {
    const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(h.high64),
                  static_cast<unsigned long long>(h.low64));
    return text;
}

std::string stampText(const MeshStamp& stamp) {
    return "hash " + stamp.hash + "\nbaker " + std::to_string(stamp.revision) + "\nup " + stamp.up +
           "\n";
}

namespace {

// The value of the line "key value" that starts at pos; pos moves past the line.
bool takeLine(std::string_view text, size_t& pos, std::string_view key, std::string_view& value) {
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return false;
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ')
        return false;
    value = line.substr(key.size() + 1);
    return true;
}

bool isHexHash(std::string_view s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

} // namespace

bool parseStamp(std::string_view text, MeshStamp& stamp) {
    size_t pos = 0;
    std::string_view hash, revision, up;
    if (!takeLine(text, pos, "hash", hash) || !takeLine(text, pos, "baker", revision) ||
        !takeLine(text, pos, "up", up) || pos != text.size() || !isHexHash(hash))
        return false;
    int r = 0;
    if (!parseInt(revision, r)) return false;
    if (up != "x" && up != "y" && up != "z" && up != "-x" && up != "-y" && up != "-z") return false;
    stamp = {std::string(hash), r, std::string(up)};
    return true;
}

std::string stampPath(const std::string& model) {
    return "Data/Attributes/" + model + "/" + model + ".source";
}
