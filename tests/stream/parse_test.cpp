#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "stream/blocks.h"
#include "support/capture.h"
#include "support/run_helper.h"

namespace quen {

// Found by argument lookup from the comparisons below.
inline bool operator==(const FluxItem& a, const FluxItem& b) {
    return a.value == b.value && a.stream_pos == b.stream_pos;
}
inline void PrintTo(const FluxItem& f, std::ostream* os) { *os << "{" << f.value << ", " << f.stream_pos << "}"; }

namespace testing {
namespace {

struct BlockCase {
    const char* name;
    Bytes bytes;
    std::vector<FluxItem> flux;  // the trailing entry included
};

const BlockCase kBlockCases[] = {
    {"Flux1", {0x20, 0x0D, 0x0D, 0x00, 0x00}, {{0x20, 0}, {0, 1}}},
    {"Flux1 lowest and highest code", {0x0E, 0xFF, 0x0D, 0x0D, 0x00, 0x00}, {{14, 0}, {255, 1}, {0, 2}}},
    {"Flux2", {0x01, 0x00, 0x0D, 0x0D, 0x00, 0x00}, {{256, 0}, {0, 2}}},
    {"Flux2 small and largest", {0x00, 0x05, 0x07, 0xFF, 0x0D, 0x0D, 0x00, 0x00}, {{5, 0}, {2047, 2}, {0, 4}}},
    // Runs of Flux1 blocks are measured eight bytes at a time: every other kind of block
    // ends a run wherever it falls in such a word, whatever the Flux1 codes around it.
    {"Flux1 run across a word then Flux2",
     {0x0E, 0x80, 0xFF, 0x0F, 0x7F, 0x81, 0x8D, 0xFE, 0x8E, 0x0E, 0x01, 0x00, 0x0D, 0x0D, 0x00, 0x00},
     {{14, 0}, {128, 1}, {255, 2}, {15, 3}, {127, 4}, {129, 5}, {141, 6}, {254, 7}, {142, 8}, {14, 9}, {256, 10},
      {0, 12}}},
    {"Flux1 run ended by a Nop1 in the last byte of a word",
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0x0E, 0x0D, 0x0D, 0x00, 0x00},
     {{255, 0}, {255, 1}, {255, 2}, {255, 3}, {255, 4}, {255, 5}, {255, 6}, {14, 8}, {0, 9}}},
    {"Ovl16 in the first byte of a word",
     {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x0B, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x0D, 0x0D,
      0x00, 0x00},
     {{32, 0}, {32, 1}, {32, 2}, {32, 3}, {32, 4}, {32, 5}, {32, 6}, {32, 7}, {65664, 9}, {128, 10}, {128, 11},
      {128, 12}, {128, 13}, {128, 14}, {128, 15}, {0, 16}}},
    {"Flux3 is big-endian", {0x0C, 0x12, 0x34, 0x0D, 0x0D, 0x00, 0x00}, {{0x1234, 0}, {0, 3}}},
    // The interval takes the position of the block that ends it, not of its overflows.
    {"Ovl16 twice then Flux1", {0x0B, 0x0B, 0x20, 0x0D, 0x0D, 0x00, 0x00}, {{131104, 2}, {0, 3}}},
    {"Ovl16 after the last flux block", {0x20, 0x0B, 0x0D, 0x0D, 0x00, 0x00}, {{32, 0}, {65536, 2}}},
    {"Nop1", {0x08, 0x20, 0x0D, 0x0D, 0x00, 0x00}, {{32, 1}, {0, 2}}},
    // Filler bytes are skipped whatever they hold, OOB codes included.
    {"Nop2", {0x09, 0x0D, 0x20, 0x0D, 0x0D, 0x00, 0x00}, {{32, 2}, {0, 3}}},
    {"Nop3", {0x0A, 0x0D, 0x0C, 0x20, 0x0D, 0x0D, 0x00, 0x00}, {{32, 3}, {0, 4}}},
    {"Nop inside an interval keeps its overflow",
     {0x0B, 0x08, 0x20, 0x0D, 0x0D, 0x00, 0x00},
     {{65568, 2}, {0, 3}}},
    {"OOB blocks do not move the position",
     cat({{0x20}, stream_info_block(1), info_block("x"), index_block(1, 5), {0x21}, stream_end_block(2, 0), kEof}),
     {{32, 0}, {33, 1}, {0, 2}}},
    {"EOF ignores its size field and what follows",
     {0x20, 0x0D, 0x0D, 0xFF, 0xFF, 0x0D, 0x63, 0x0C},
     {{32, 0}, {0, 1}}},
};

TEST(StreamBlocks, EachBlockKindBuildsItsIntervals) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(c.name);
        Decoded d = decode_bytes(c.bytes);
        ASSERT_EQ(d.code, kStreamOk);
        EXPECT_EQ(std::vector<FluxItem>(d.stream->flux.begin(), d.stream->flux.end()), c.flux);
        EXPECT_EQ(d.stream->flux_count, c.flux.size() - 1);
    }
}

TEST(StreamBlocks, IndexBlockKeepsItsPayload) {
    Decoded d = decode_bytes({0x20, 0x20,
                              0x0D, 0x02, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x00, 0x44, 0x33,
                              0x22, 0x11,  // Index at 1, sample counter 0x345678, index counter 0x11223344
                              0x0D, 0x0D, 0x00, 0x00});
    ASSERT_EQ(d.code, kStreamOk);
    ASSERT_EQ(d.stream->index_count, 1u);
    ASSERT_EQ(d.stream->index.size(), 1u);
    const IndexRecord& r = d.stream->index[0];
    EXPECT_EQ(r.stream_pos, 1u);
    EXPECT_EQ(r.sample_counter, 0x345678u);
    EXPECT_EQ(r.index_counter, 0x11223344u);
}

TEST(StreamBlocks, EmptyFileHasNothingAtAll) {
    Decoded d = decode_bytes({});
    ASSERT_EQ(d.code, kStreamOk);
    EXPECT_TRUE(d.stream->flux.empty());
    EXPECT_EQ(d.stream->flux_count, 0u);
    EXPECT_EQ(d.stream->index_count, 0u);
    EXPECT_EQ(d.stream->rpm_avg, 0.0);
    EXPECT_EQ(d.stream->sck, kDefaultSampleClock);
}

struct MalformedCase {
    const char* name;
    Bytes bytes;
    int code;
};

const MalformedCase kMalformed[] = {
    {"one flux byte", {0x20}, kStreamNoEof},
    {"one byte of a Flux2 block", {0x03}, kStreamTruncated},
    {"one byte of an OOB block", {0x0D}, kStreamTruncated},
    {"Flux3 cut in the middle", {0x20, 0x0C, 0x12}, kStreamTruncated},
    {"Nop3 cut in the middle", {0x0A, 0x00}, kStreamTruncated},
    {"OOB header cut", {0x0D, 0x02, 0x0C}, kStreamTruncated},
    {"EOF header cut", {0x20, 0x0D, 0x0D}, kStreamTruncated},
    {"Info size past the end", {0x0D, 0x04, 0x05, 0x00, 'a', 'b'}, kStreamTruncated},
    {"Index size past the end", {0x0D, 0x02, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00}, kStreamTruncated},
    {"OOB type 0", {0x0D, 0x00, 0x00, 0x00, 0x0D, 0x0D, 0x00, 0x00}, kStreamUnknownOob},
    {"OOB type 5", {0x0D, 0x05, 0x00, 0x00, 0x0D, 0x0D, 0x00, 0x00}, kStreamUnknownOob},
    {"OOB type 255 without EOF", {0x20, 0x0D, 0xFF, 0x00, 0x00}, kStreamUnknownOob},
    {"no EOF", {0x20, 0x21}, kStreamNoEof},
    {"bytes after EOF are ignored", {0x20, 0x0D, 0x0D, 0x00, 0x00, 0x0D, 0x07, 0x0C}, kStreamOk},
    {"StreamEnd result 1", cat({{0x20}, stream_end_block(1, 1), kEof}), kStreamEndResult1},
    {"StreamEnd result 2", cat({{0x20}, stream_end_block(1, 2), kEof}), kStreamEndResult2},
    {"StreamEnd result 7", cat({{0x20}, stream_end_block(1, 7), kEof}), kStreamEndResultOther},
    {"StreamEnd result 0xFFFFFFFF", cat({{0x20}, stream_end_block(1, 0xFFFFFFFF), kEof}), kStreamEndResultOther},
    {"StreamEnd error outranks a missing EOF", cat({{0x20}, stream_end_block(1, 1)}), kStreamEndResult1},
    {"a later StreamEnd error replaces an earlier one",
     cat({{0x20}, stream_end_block(1, 1), stream_end_block(1, 2), kEof}), kStreamEndResult2},
    {"a later StreamEnd result 0 clears an earlier error",
     cat({{0x20}, stream_end_block(1, 1), stream_end_block(1, 0), kEof}), kStreamOk},
    {"StreamEnd result 0 at a wrong position", cat({{0x20}, stream_end_block(5, 0), kEof}), kStreamPositionMismatch},
    {"StreamEnd error at a wrong position keeps its result", cat({{0x20}, stream_end_block(5, 2), kEof}),
     kStreamEndResult2},
    {"StreamInfo at a wrong position", cat({{0x20}, stream_info_block(0), kEof}), kStreamPositionMismatch},
    // Fields that do not lie wholly inside the data read as 0: here 0 against position 1.
    {"StreamInfo field cut by the end of the data", {0x20, 0x0D, 0x01, 0x00, 0x00, 0x01, 0x00}, kStreamPositionMismatch},
    {"StreamEnd without payload at the end", {0x0D, 0x03, 0x00, 0x00}, kStreamNoEof},
    {"index beyond the end", cat({{0x20}, index_block(2, 5), kEof}), kStreamIndexBeyondEnd},
    {"index beyond the end without flux", cat({index_block(3, 5), kEof}), kStreamIndexBeyondEnd},
    {"index blocks without flux", cat({index_block(0, 5), index_block(0, 9), kEof}), kStreamOk},
    // Only the last Index block is held against the end; the earlier one then finds no interval.
    {"earlier index beyond the end", cat({{0x20}, index_block(5, 5), index_block(1, 5), kEof}),
     kStreamIndexUnresolved},
    // Three bytes between the Index position and the flux block, but only two overflows.
    {"index further back than the overflows reach", cat({index_block(1, 100), {0x20, 0x08, 0x0B, 0x0B, 0x20}, kEof}),
     kStreamIndexUnresolved},
    // The Index block's fields straddle 64 KiB, the buffer through which a file is judged a capture.
    {"Index block across 64 KiB", cat({info_block(std::string(65528, 'x')), index_block(0, 5), {0x20}, kEof}),
     kStreamOk},
    {"Index block across 64 KiB beyond the end", cat({info_block(std::string(65528, 'x')), index_block(7, 5), {0x20}, kEof}),
     kStreamIndexBeyondEnd},
    // Flux-side blocks are taken in runs as long as they lie whole in the bytes at hand; a
    // file is judged through 64 KiB at a time, so these runs cross that border mid-block.
    {"Flux3 across 64 KiB", cat({Bytes(65535, 0x20), {0x0C, 0x01, 0x02}, index_block(65535, 5), kEof}), kStreamOk},
    {"Flux2 across 64 KiB", cat({Bytes(65535, 0x20), {0x01, 0x02}, index_block(65535, 5), kEof}), kStreamOk},
    {"Nop3 of OOB codes across 64 KiB",
     cat({Bytes(65534, 0x20), {0x0A, 0x0D, 0x0D, 0x20}, index_block(65537, 5), kEof}), kStreamOk},
    {"Index header across 64 KiB", cat({Bytes(65534, 0x20), index_block(1, 5), kEof}), kStreamOk},
    {"EOF across 64 KiB without an index", cat({Bytes(65534, 0x20), kEof}), kStreamOk},
    {"Flux3 cut by the end behind 64 KiB", cat({index_block(0, 5), Bytes(65530, 0x20), {0x0C, 0x01}}),
     kStreamTruncated},
    {"two pulses in one interval", cat({index_block(0, 5), index_block(0, 9), {0x20}, kEof}), kStreamIndexUnresolved},
    // Every in-band kind moves the position by its own length: 13 bytes before the StreamInfo.
    {"every in-band kind before a StreamInfo",
     cat({{0x0B, 0x08, 0x09, 0x00, 0x0A, 0x00, 0x00, 0x0C, 0x01, 0x02, 0x01, 0x00, 0x20}, stream_info_block(13),
          index_block(10, 5), kEof}),
     kStreamOk},
    {"an Index block behind EOF is not read", cat({{0x20}, kEof, index_block(0, 5)}), kStreamOk},
    // After a pulse in interval 0 the search goes on with interval 2.
    {"a pulse right behind one in interval 0", cat({index_block(0, 5), index_block(1, 9), {0x20, 0x20}, kEof}),
     kStreamIndexUnresolved},
};

TEST(StreamBlocks, MalformedStreamsGiveTheirCode) {
    for (const MalformedCase& c : kMalformed) {
        SCOPED_TRACE(c.name);
        Decoded d = decode_bytes(c.bytes);
        EXPECT_EQ(d.code, c.code);
        EXPECT_EQ(d.stream->index.size(), d.stream->index_count);
        // Judging a file as a capture walks its blocks just as the parser does.
        const bool capture = (c.code == kStreamOk || c.code == kStreamIndexUnresolved) && d.stream->index_count > 0;
        EXPECT_EQ(file_holds_indexed_stream(write_temp_file(c.bytes)), capture);
    }
}

TEST(StreamBlocks, OobFieldsPastTheEndReadAsZero) {
    // An Index block without payload, followed by only a Flux2 block: its fields would
    // reach past the end of the data.
    Decoded d = decode_bytes({0x20, 0x0D, 0x02, 0x00, 0x00, 0x01, 0x02});
    EXPECT_EQ(d.code, kStreamNoEof);
    ASSERT_EQ(d.stream->index_count, 1u);
    EXPECT_EQ(d.stream->index[0].stream_pos, 0u);
    EXPECT_EQ(d.stream->index[0].sample_counter, 0u);
    EXPECT_EQ(d.stream->index[0].index_counter, 0u);
}

// Garbage must never crash or read outside the data, and what is kept stays consistent.
TEST(StreamBlocks, RandomGarbageIsSurvived) {
    std::mt19937 rng(20240517);
    const uint8_t likely[] = {0x0D, 0x0D, 0x0D, 0x01, 0x02, 0x03, 0x04, 0x0B, 0x0C, 0x00, 0x20};
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes(rng() % 200);
        for (uint8_t& b : bytes) {
            b = (rng() % 3 == 0) ? likely[rng() % sizeof likely] : static_cast<uint8_t>(rng());
        }
        Decoded d = decode_bytes(bytes);
        const QuenStream& s = *d.stream;
        ASSERT_GE(d.code, 0);
        ASSERT_LE(d.code, kStreamIndexUnresolved);
        ASSERT_EQ(s.index.size(), s.index_count);
        ASSERT_TRUE(s.flux.size() == s.flux_count || s.flux.size() == s.flux_count + 1u);
        ASSERT_FALSE(s.rpm_avg != s.rpm_avg);
        if (d.code == kStreamOk && s.flux_count != 0) {
            for (const IndexRecord& r : s.index) ASSERT_LE(r.flux_index, s.flux_count);
        }
    }
}

struct InfoCase {
    const char* name;
    Bytes bytes;
    std::string info;
    uint32_t info_len;
};

const InfoCase kInfoCases[] = {
    {"no info", {0x20, 0x0D, 0x0D, 0x00, 0x00}, "", 0},
    {"two blocks are joined",
     {0x0D, 0x04, 0x04, 0x00, 'a', '=', '1', 0x00, 0x0D, 0x04, 0x04, 0x00, 'b', '=', '2', 0x00, 0x0D, 0x0D, 0x00, 0x00},
     "a=1, b=2", 9},
    {"an empty block adds nothing",
     {0x0D, 0x04, 0x00, 0x00, 0x0D, 0x04, 0x03, 0x00, 'b', '=', '2', 0x0D, 0x0D, 0x00, 0x00}, "b=2", 4},
    {"every trailing NUL goes", {0x0D, 0x04, 0x04, 0x00, 'x', 0x00, 0x00, 0x00, 0x0D, 0x0D, 0x00, 0x00}, "x", 2},
    {"a block of NULs still opens the text",
     {0x0D, 0x04, 0x02, 0x00, 0x00, 0x00, 0x0D, 0x04, 0x04, 0x00, 'b', '=', '2', 0x00, 0x0D, 0x0D, 0x00, 0x00},
     ", b=2", 6},
    {"an inner NUL is kept",
     {0x0D, 0x04, 0x08, 0x00, 'a', '=', '1', 0x00, 'b', '=', '2', 0x00, 0x0D, 0x0D, 0x00, 0x00},
     std::string("a=1\0b=2", 7), 8},
};

TEST(StreamInfoText, BlocksAreJoined) {
    for (const InfoCase& c : kInfoCases) {
        SCOPED_TRACE(c.name);
        Decoded d = decode_bytes(c.bytes);
        ASSERT_EQ(d.code, kStreamOk);
        EXPECT_EQ(d.stream->info, c.info);
        EXPECT_EQ(d.stream->info_len, c.info_len);
    }
}

struct LookupCase {
    std::string info;
    const char* key;
    const char* value;  // nullptr: not found
};

const LookupCase kLookups[] = {
    {"a=1, b=2", "a", "1"},
    {"a=1, b=2", "b", "2"},
    {"name=x,y", "name", "x"},
    {"k=", "k", ""},
    {"sck=2", "ick", nullptr},
    {"sck 2", "sck", nullptr},
    // The key must open the text or follow a blank; only its first occurrence is judged.
    {"a=1,b=2", "b", nullptr},
    {"xsck=1, sck=2", "sck", nullptr},
    {"sckx=1, sck=2", "sck", nullptr},
    {std::string("a=1\0b=2", 7), "b", nullptr},
    {"", "a", nullptr},
};

TEST(StreamInfoText, ValueLookup) {
    for (const LookupCase& c : kLookups) {
        SCOPED_TRACE(c.info + " / " + c.key);
        QuenStream s;
        s.info = c.info;
        s.info_len = static_cast<uint32_t>(c.info.size() + 1);
        const char* got = s.info_value(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, c.value);
        }
    }
}

TEST(StreamInfoText, NoInfoFindsNothingAndLongValuesAreCut) {
    QuenStream s;
    EXPECT_EQ(s.info_value("sck"), nullptr);
    s.info = "sck=" + std::string(300, '7') + ", ick=1";
    s.info_len = static_cast<uint32_t>(s.info.size() + 1);
    EXPECT_EQ(std::string(s.info_value("sck")), std::string(255, '7'));
    EXPECT_STREQ(s.info_value("ick"), "1");
}

struct ReadResult {
    std::unique_ptr<QuenStream> stream;
    std::string err;
};

ReadResult read_file_capturing(const std::string& name) {
    Capture err;
    ReadResult r;
    CaptureLoad load = load_stream_file(name, err.get());
    // The stream reader's own result is the stream it decoded.
    r.stream.reset(static_cast<QuenStream*>(load.capture.release()));
    r.err = err.text();
    return r;
}

TEST(StreamFile, UnreadableInputsAreNotOpened) {
    const std::string dir = make_temp_dir();
    const std::string missing = dir + "/missing.raw";
    for (const std::string& name : {missing, dir}) {
        SCOPED_TRACE(name);
        ReadResult r = read_file_capturing(name);
        EXPECT_EQ(r.stream, nullptr);
        EXPECT_EQ(r.err, "Could not open file " + name + "\n");
    }
    std::filesystem::remove_all(dir);
}

TEST(StreamFile, DecodesAFileOrSaysWhyNot) {
    const std::string good = write_temp_file({0x20, 0x21, 0x0D, 0x0D, 0x00, 0x00});
    ReadResult r = read_file_capturing(good);
    ASSERT_NE(r.stream, nullptr);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.stream->data, nullptr);
    EXPECT_EQ(r.stream->data_len, 6u);
    EXPECT_EQ(r.stream->flux_count, 2u);

    const std::string bad = write_temp_file({0x20, 0x21});
    r = read_file_capturing(bad);
    EXPECT_EQ(r.stream, nullptr);
    EXPECT_EQ(r.err, "Error decoding stream file " + bad + "\n");

    std::filesystem::remove_all(std::filesystem::path(good).parent_path());
    std::filesystem::remove_all(std::filesystem::path(bad).parent_path());
}

}  // namespace
}  // namespace testing
}  // namespace quen
