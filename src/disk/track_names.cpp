#include "disk/track_names.h"

#include <cctype>
#include <cstdio>

#include "base/files.h"

namespace quen::disk {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<StreamName> parse_stream_name(const std::string& file_name) {
    static constexpr char kSuffix[] = ".raw";
    const size_t suffix = sizeof kSuffix - 1;
    const size_t tail = 2 + 1 + 1 + suffix;  // NN.S.raw
    if (file_name.size() < tail || file_name.compare(file_name.size() - suffix, suffix, kSuffix) != 0) {
        return std::nullopt;
    }
    const size_t at = file_name.size() - tail;
    const char* p = file_name.c_str() + at;
    if (!is_digit(p[0]) || !is_digit(p[1]) || p[2] != '.' || (p[3] != '0' && p[3] != '1')) return std::nullopt;
    if (at > 0 && is_digit(file_name[at - 1])) return std::nullopt;
    return StreamName{file_name.substr(0, at), (p[0] - '0') * 10 + (p[1] - '0'), p[3] - '0'};
}

bool looks_like_a_stream_name(const std::string& file_name) {
    std::string lower = file_name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string raw = ".raw";
    return lower.rfind("track", 0) == 0 ||
           (lower.size() >= raw.size() && lower.compare(lower.size() - raw.size(), raw.size(), raw) == 0);
}

std::string disk_name_of_prefix(const std::string& prefix) {
    std::string name = prefix;
    while (!name.empty() && (name.back() == '_' || name.back() == '-' || name.back() == '.' || name.back() == ' ')) {
        name.pop_back();
    }
    return name.empty() ? "untitled" : name;
}

std::string image_track_side_name(const std::string& image_name, int track, int side) {
    char place[16];
    std::snprintf(place, sizeof place, ":%02d.%d", track, side);
    return image_name + place;
}

std::string track_side_stem(int track, int side) {
    char stem[16];
    std::snprintf(stem, sizeof stem, "track%02d.%d", track, side);
    return stem;
}

std::string report_path_in(const std::string& outdir, int track, int side) {
    return path_in(outdir, track_side_stem(track, side) + ".txt");
}

std::string picture_dir_in(const std::string& outdir, int track, int side) {
    return path_in(outdir, track_side_stem(track, side));
}

}  // namespace quen::disk
