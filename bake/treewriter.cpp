#include "treewriter.h"

#include "bakeerror.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace fs = std::filesystem;

std::string pgmBytes(const std::vector<double>& goodness, int width, int height,
                     const std::string& comment) {
    std::string s = "P5\n# " + comment + "\n" + std::to_string(width) + " " +
                    std::to_string(height) + "\n255\n";
    const size_t header = s.size();
    s.resize(header + static_cast<size_t>(width) * height);
    for (size_t k = 0; k < static_cast<size_t>(width) * height; ++k) {
        const double g = std::min(1.0, std::max(0.0, goodness[k]));
        s[header + k] = static_cast<char>(static_cast<unsigned char>(std::lround(g * 255)));
    }
    return s;
}

std::string vgfBytes(const std::vector<float>& gx, const std::vector<float>& gy, int width,
                     int height) {
    std::string header = "VGF\n" + std::to_string(width) + " " + std::to_string(height);
    if (header.size() > 14)
        throw BakeError("a " + std::to_string(width) + "x" + std::to_string(height) +
                        " map does not fit the 15-byte gradient image header");
    header.resize(14, ' ');
    header += '\n';
    std::string s = header;
    s.reserve(15 + 8 * gx.size());
    auto append = [&](float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        for (int k = 0; k < 4; ++k)
            s += static_cast<char>((bits >> (8 * k)) & 0xff);
    };
    for (size_t k = 0; k < static_cast<size_t>(width) * height; ++k) {
        append(gx[k]);
        append(gy[k]);
    }
    return s;
}

std::vector<std::string> listNames(const std::string& bytes) {
    std::vector<std::string> names;
    size_t k = 0;
    while (k < bytes.size()) {
        while (k < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[k])))
            ++k;
        const size_t start = k;
        while (k < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[k])))
            ++k;
        if (k > start) names.push_back(bytes.substr(start, k - start));
    }
    return names;
}

std::string extendedList(const std::string& bytes, const std::vector<std::string>& add) {
    std::vector<std::string> names = listNames(bytes);
    std::string out = bytes;
    for (const std::string& name : add) {
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        if (!out.empty() && !std::isspace(static_cast<unsigned char>(out.back()))) out += '\n';
        out += name + "\n";
        names.push_back(name);
    }
    return out;
}

TreeTransaction::~TreeTransaction() {
    abandon();
}

void TreeTransaction::stage(const fs::path& destination, const std::string& bytes) {
    const fs::path folder = destination.parent_path();
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
        std::error_code ec;
        if (fs::exists(p, ec)) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code ec;
        if (!fs::create_directory(*it, ec) || ec)
            throw BakeError("cannot create the folder " + it->string() + ": " +
                            (ec ? ec.message() : std::string("it exists already")));
        createdFolders.push_back(*it);
    }
    std::error_code ec;
    if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
        throw BakeError("cannot write " + destination.string() + ": " + folder.string() +
                        " is not a folder");

    static unsigned serial = 0;
    const fs::path temporary = folder / ("." + destination.filename().string() + ".bake-" +
                                         std::to_string(getpid()) + "-" + std::to_string(++serial));
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) throw BakeError("cannot write " + destination.string() + ": " + std::strerror(errno));
    staged.push_back({temporary, destination});
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool flushed = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    const int closeStatus = std::fclose(f);
    if (!written || !flushed || closeStatus != 0)
        throw BakeError("cannot write " + destination.string() + ": " + std::strerror(errno));
}

void TreeTransaction::commit() {
    while (!staged.empty()) {
        const Staged s = staged.front();
        std::error_code ec;
        fs::rename(s.temporary, s.destination, ec);
        if (ec)
            throw BakeError("cannot put " + s.destination.string() + " in place: " + ec.message());
        staged.erase(staged.begin());
    }
    createdFolders.clear();
}

void TreeTransaction::abandon() {
    for (const Staged& s : staged) {
        std::error_code ignored;
        fs::remove(s.temporary, ignored);
    }
    staged.clear();
    for (auto it = createdFolders.rbegin(); it != createdFolders.rend(); ++it) {
        std::error_code ignored;
        fs::remove(*it, ignored);
    }
    createdFolders.clear();
}
