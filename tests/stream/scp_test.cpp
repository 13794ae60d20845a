#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stream/scp.h"
#include "support/capture.h"
#include "support/scp_builder.h"

namespace quen::testing {
namespace {

using synth::ScpOptions;
using synth::ScpRevolution;

constexpr TrackSide kT00{0, 0};

struct ScpRead {
    std::unique_ptr<FluxCapture> capture;
    std::string err;
};

ScpRead read_track(const std::vector<uint8_t>& image, TrackSide t = kT00) {
    ScpRead r;
    r.err = capture([&](FILE* f) { r.capture = read_scp_track(image.data(), image.size(), "d.scp", t, f); });
    return r;
}

std::vector<uint8_t> words_image(const std::vector<ScpRevolution>& revs, ScpOptions opts = {}) {
    return synth::encode_scp_words({{kT00, revs}}, opts);
}

TEST(ScpReader, EachFaultIsOneLineNamingTheFile) {
    std::vector<synth::DamagedScp> cases = synth::damaged_scp_images();
    cases.push_back({"no_signature", {'S', 'C', 'Q', 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kT00, "no SCP signature"});
    // 65537 words of 0 and one of 1: longer than the 32-bit intervals of the model.
    std::vector<uint16_t> endless(65537, 0);
    endless.push_back(1);
    cases.push_back({"interval_beyond_32_bits", words_image({{10, endless}}), kT00,
                     "track 0.0 revolution 1: a flux interval longer than 2^32 ticks"});
    for (const synth::DamagedScp& c : cases) {
        SCOPED_TRACE(c.name);
        const ScpRead r = read_track(c.image, c.track);
        EXPECT_EQ(r.capture, nullptr);
        EXPECT_EQ(r.err, "SCP file 'd.scp': " + c.fault + "\n");
    }
}

// Pulses as the cursor reads them: interval, ticks before the pulse, ticks since the last one.
struct Pulse {
    uint32_t flux_index;
    uint32_t pre_index;
    uint32_t rev_time;
    bool operator==(const Pulse&) const = default;
};
void PrintTo(const Pulse& p, std::ostream* os) {
    *os << "{" << p.flux_index << ", " << p.pre_index << ", " << p.rev_time << "}";
}

struct ModelCase {
    const char* name;
    std::vector<uint8_t> image;
    TrackSide track;
    std::vector<uint32_t> flux;  // the trailing entry included
    std::vector<Pulse> pulses;
    std::string err;
};

std::vector<ModelCase> model_cases() {
    ScpOptions coarse;
    coarse.resolution = 1;
    ScpOptions single_side_1;
    single_side_1.heads = 2;
    ScpOptions legacy;
    legacy.heads = 1;
    legacy.disk_type = 0x30;
    ScpOptions not_cued;
    not_cued.flags = 0x80;
    ScpOptions normalised;
    normalised.flags = 0x89;
    return {
        // The time after a revolution's last transition opens the next one's first interval.
        {"time after the last transition",
         words_image({{100, {30, 50}}, {90, {40, 45}}}),
         kT00,
         {30, 50, 60, 45, 5},
         {{0, 0, 0}, {2, 20, 100}, {4, 5, 90}},
         ""},
        // Flux that fills the index time or more puts the pulse at the next revolution's start.
        {"flux as long as the index time", words_image({{80, {30, 50}}, {70, {40, 45}}}), kT00,
         {30, 50, 40, 45, 0}, {{0, 0, 0}, {2, 0, 80}, {4, 0, 85}}, ""},
        {"overflow chain", words_image({{70000, {0, 0, 10, 100}}}), kT00, {131082, 100, 0},
         {{0, 0, 0}, {2, 0, 131182}}, "SCP file 'd.scp': track 0.0 revolution 1: damaged, its flux lasts 3.280 ms and "
                                      "its index time 1.750 ms\n"},
        {"dangling overflow chain dropped", words_image({{300, {100, 0}}}), kT00, {100, 200},
         {{0, 0, 0}, {1, 200, 300}},
         "SCP file 'd.scp': track 0.0 revolution 1: an overflow chain without an end, 65536 ticks dropped\n"},
        // Index times in 25 ns units agree with words of 50 ns.
        {"resolution 50 ns, index time in 25 ns", words_image({{400, {100, 90}}}, coarse), kT00, {200, 180, 20},
         {{0, 0, 0}, {2, 20, 400}}, ""},
        {"resolution 50 ns, index time in words", words_image({{200, {100, 90}}}, coarse), kT00, {200, 180, 20},
         {{0, 0, 0}, {2, 20, 400}}, ""},
        // Declared revolutions without words are skipped.
        {"missing revolutions", words_image({{100, {60}}, {100, {}}, {100, {70}}}), kT00, {60, 110, 30},
         {{0, 0, 0}, {1, 40, 100}, {2, 30, 100}},
         "SCP file 'd.scp': track 0.0: 2 of 3 revolutions stored\n"},
        {"side 1 of a single-side image",
         synth::encode_scp_words({{{3, 1}, {{100, {60}}}}}, single_side_1), {3, 1}, {60, 40},
         {{0, 0, 0}, {1, 40, 100}}, ""},
        // Slots 0 and 1 filled on a single-head image: one cylinder per slot.
        {"older single-side layout",
         synth::encode_scp_words({{{0, 0}, {{100, {60}}}}, {{0, 1}, {{100, {70}}}}}, legacy), {1, 0}, {70, 30},
         {{0, 0, 0}, {1, 30, 100}}, ""},
        {"not cued to the index", words_image({{100, {60}}}, not_cued), kT00, {60, 40}, {{0, 0, 0}, {1, 40, 100}},
         "SCP file 'd.scp': not cued to the index: revolutions start anywhere, sector positions are not from the "
         "index\n"},
        {"normalised", words_image({{100, {60}}}, normalised), kT00, {60, 40}, {{0, 0, 0}, {1, 40, 100}},
         "SCP file 'd.scp': flux times were normalised: timing faults may be hidden\n"},
        {"no index time", words_image({{0, {60}}}), kT00, {60, 0}, {{0, 0, 0}, {1, 0, 60}},
         "SCP file 'd.scp': track 0.0 revolution 1: no index time\n"},
        {"no revolution stored", words_image({{100, {}}}), kT00, {}, {},
         "SCP file 'd.scp': track 0.0 holds no revolution\n"},
    };
}

// The track sides a whole-disk run lists: those the table names, in the layout the
// heads byte gives, and none when the header is damaged.
TEST(ScpReader, TrackSidesAreThoseTheTableNames) {
    ScpOptions side_1;
    side_1.heads = 2;
    ScpOptions legacy;
    legacy.heads = 1;
    legacy.disk_type = 0x30;
    const std::vector<ScpRevolution> rev{{100, {60}}};
    std::vector<uint8_t> unsummed = synth::encode_scp_words({{kT00, rev}});
    unsummed.back() ^= 1;
    const struct {
        const char* name;
        std::vector<uint8_t> image;
        std::string sides;
        std::string fault;
    } cases[] = {
        {"both heads", synth::encode_scp_words({{{2, 1}, rev}, {{0, 1}, rev}, {kT00, rev}}), "0.0 0.1 2.1 ", ""},
        {"side 1 only", synth::encode_scp_words({{{3, 1}, rev}, {{5, 1}, rev}}, side_1), "3.1 5.1 ", ""},
        {"older single-side layout", synth::encode_scp_words({{kT00, rev}, {{0, 1}, rev}}, legacy), "0.0 1.0 ", ""},
        {"bad checksum", unsummed, "", "checksum"},
    };
    for (const auto& c : cases) {
        std::string fault;
        std::string sides;
        for (const TrackSide& t : scp_track_sides(c.image.data(), c.image.size(), fault)) {
            sides += std::to_string(t.cylinder) + "." + std::to_string(t.side) + " ";
        }
        EXPECT_EQ(sides, c.sides) << c.name;
        EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << c.name;
        EXPECT_EQ(fault.empty(), c.fault.empty()) << c.name;
    }
}

TEST(ScpReader, RevolutionsJoinIntoOneFluxSequence) {
    for (const ModelCase& c : model_cases()) {
        SCOPED_TRACE(c.name);
        const ScpRead r = read_track(c.image, c.track);
        ASSERT_NE(r.capture, nullptr) << r.err;
        EXPECT_EQ(r.err, c.err);
        const FluxCapture& cap = *r.capture;
        std::vector<uint32_t> flux;
        for (const FluxItem& f : cap.flux) flux.push_back(f.value);
        EXPECT_EQ(flux, c.flux);
        EXPECT_EQ(cap.flux_count + (c.flux.empty() ? 0u : 1u), c.flux.size());
        std::vector<Pulse> pulses;
        for (const IndexRecord& p : cap.index) {
            pulses.push_back({p.flux_index, p.pre_index, p.rev_time});
            EXPECT_EQ(p.pre_index + p.post_index, cap.flux[p.flux_index].value);
        }
        EXPECT_EQ(pulses, c.pulses);
        EXPECT_EQ(cap.index_count, cap.index.size());
        EXPECT_EQ(cap.sck, kScpSampleClock);
    }
}

TEST(ScpReader, SpeedAndInfoComeFromTheImage) {
    // Two revolutions of 8,000,000 ticks of 25 ns: 200 ms each.
    const ScpRead r = read_track(words_image({{8000000, {100}}, {8000000, {100}}}));
    ASSERT_NE(r.capture, nullptr);
    EXPECT_EQ(r.capture->revolutions(), 2);
    EXPECT_DOUBLE_EQ(r.capture->rpm_avg, 300.0);
    EXPECT_EQ(r.capture->info, "scp version=2.5, disk type=0x80, flags=0x81, resolution=25 ns");
}

TEST(ScpReader, DoubtfulImagesAreReadWithAWarning) {
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        std::string err;
    };
    std::vector<uint8_t> shared = words_image({{100, {60}}});
    shared[synth::scp_table_entry_at({2, 0})] = shared[synth::scp_table_entry_at(kT00)];
    shared[synth::scp_table_entry_at({2, 0}) + 1] = shared[synth::scp_table_entry_at(kT00) + 1];
    synth::fix_scp_checksum(shared);
    std::vector<uint8_t> overlap = words_image({{100, {60, 40}}, {100, {70}}}, ScpOptions{0x81, 0, 0, 0x80, false});
    // Revolution 2 names the second word of revolution 1.
    overlap[synth::kScpFirstTrackHeader + 4 + 12 + 8] = 4 + 24 + 2;
    const Case cases[] = {
        {"one track header for two tracks", shared,
         "SCP file 'd.scp': track 0.0: its track header is named by 1 other table entries\n"},
        {"overlapping revolutions", overlap,
         "SCP file 'd.scp': track 0.0: the flux words of revolutions 1 and 2 overlap\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScpRead r = read_track(c.image);
        EXPECT_NE(r.capture, nullptr);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(ScpReader, TrackSideOnTheCommandLine) {
    struct Case {
        const char* text;
        bool valid;
        uint8_t cylinder;
        uint8_t side;
    };
    const Case cases[] = {
        {"0.0", true, 0, 0}, {"83.1", true, 83, 1}, {"07.1", true, 7, 1}, {"84.0", false, 0, 0},
        {"1.2", false, 0, 0}, {"1", false, 0, 0},  {".1", false, 0, 0},   {"1.", false, 0, 0},
        {"100.0", false, 0, 0}, {"1.0x", false, 0, 0}, {"-1.0", false, 0, 0}, {"a.0", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<TrackSide> t = parse_track_side(c.text);
        ASSERT_EQ(t.has_value(), c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(t->cylinder, c.cylinder);
        EXPECT_EQ(t->side, c.side);
    }
}

}  // namespace
}  // namespace quen::testing
