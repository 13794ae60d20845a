// Text that goes into the disk page: escaping of what comes from the input, and
// links that keep working from file:// when the page moves with its folders.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace quen::html {

// Text for an element's content or a quoted attribute value. File names and the
// streams' texts are arbitrary bytes: markup characters become references, and
// control characters and bytes that are not UTF-8 become U+FFFD so that the page
// stays valid whatever the input holds.
std::string escape(std::string_view text);

// A relative URL path for a file path: every byte outside the unreserved set is
// percent-encoded, '/' separates segments. A name holding '#', '?', '%' or ':'
// then still names the file instead of a fragment, a query or a scheme.
std::string url_path(const std::filesystem::path& relative);

// The link from a page in `page_dir` to `target`, relative so that page and
// target can move together; both are resolved against the current directory.
std::string relative_link(const std::filesystem::path& page_dir, const std::filesystem::path& target);

// printf into a string, for the numbers of the page and its pictures.
template <class... Args>
std::string format(const char* fmt, Args... args) {
    const int length = std::snprintf(nullptr, 0, fmt, args...);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), fmt, args...);
    text.pop_back();
    return text;
}

}  // namespace quen::html
