// The command line of one fuzzed run, read from the first bytes of the input so that the
// fuzzer explores the options together with the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quen::fuzz {

// Byte 0: one bit per option letter, in this order.
inline constexpr char kFlagLetters[8] = {'s', 'p', 'v', 'b', 'c', 't', 'f', 'm'};

// Byte 1.
inline constexpr uint8_t kRevolutionMask = 0x0F;   // index into kRevolutionArgs
inline constexpr uint8_t kOutputFile = 0x10;       // name an output file
inline constexpr uint8_t kSeparateFlags = 0x20;    // "-s -p" rather than "-sp"
inline constexpr uint8_t kExtraMask = 0xC0;        // one of the extras below
inline constexpr uint8_t kExtraNone = 0x00;
inline constexpr uint8_t kExtraLoneDash = 0x40;    // a "-" that sets nothing
inline constexpr uint8_t kExtraIgnoredArg = 0x80;  // an argument after the output name, if any
inline constexpr uint8_t kExtraBadLetter = 0xC0;   // an option letter outside the table

// Revolution arguments in and out of range: none, a bare -r (0), single digits, and the
// forms whose following characters the scan rejects or reads as letters.
inline constexpr const char* kRevolutionArgs[16] = {
    nullptr, "-r", "-r0", "-r1", "-r2", "-r3", "-r4", "-r5", "-r9", "-r3v", "-r12", "-r-1", "-r 2", "-r+3", "-rt", "-r7"};

inline constexpr size_t kPrefixBytes = 2;

// The arguments for a run whose stream is labelled `input`; `output` is used when the
// prefix asks for an output file.
inline std::vector<std::string> run_args(const uint8_t prefix[kPrefixBytes], const std::string& input,
                                         const std::string& output) {
    std::vector<std::string> args;
    std::string combined = "-";
    for (int bit = 0; bit < 8; ++bit) {
        if ((prefix[0] & (1u << bit)) == 0) continue;
        if ((prefix[1] & kSeparateFlags) != 0) {
            args.push_back(std::string("-") + kFlagLetters[bit]);
        } else {
            combined += kFlagLetters[bit];
        }
    }
    if (combined.size() > 1) args.push_back(combined);
    if (const char* rev = kRevolutionArgs[prefix[1] & kRevolutionMask]) args.emplace_back(rev);
    const uint8_t extra = prefix[1] & kExtraMask;
    if (extra == kExtraLoneDash) args.emplace_back("-");
    if (extra == kExtraBadLetter) args.emplace_back("-x");
    args.push_back(input);
    // Without an output name the extra argument would become one, in the current directory.
    if ((prefix[1] & kOutputFile) != 0) {
        args.push_back(output);
        if (extra == kExtraIgnoredArg) args.emplace_back("ignored");
    }
    return args;
}

}  // namespace quen::fuzz
