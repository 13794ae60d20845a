// Captures what code under test prints to a FILE*.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quen::testing {

// A temporary file to hand to code that prints, read back as text.
class Capture {
public:
    Capture();  // throws std::runtime_error when no temporary file can be made
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    FILE* get() const { return f_; }
    // Everything written so far; the file stays open for more.
    std::string text() const;

private:
    FILE* f_;
};

// Runs `print` on a temporary file and returns everything it wrote.
template <class Print>
std::string capture(Print&& print) {
    Capture f;
    print(f.get());
    return f.text();
}

// The lines of a text, without their newlines.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace quen::testing
