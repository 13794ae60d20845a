// Whole-disk runs over a small synthetic disk: the table, the machine-readable records,
// the reports, the exit codes, and the same outcome whatever the number of workers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "disk/cli.h"
#include "disk/summary.h"
#include "protect/prot.h"
#include "disk/run_disk.h"
#include "support/capture.h"
#include "support/builder.h"
#include "support/disk_builder.h"
#include "support/run_helper.h"
#include "support/scp_builder.h"

namespace quen::testing {
namespace {

namespace fs = std::filesystem;

class QuenDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new std::string(make_temp_dir());
        entries_ = new std::vector<synth::DiskEntry>(synth::write_sample_disk(*dir_));
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
        delete entries_;
    }
    static const std::string& dir() { return *dir_; }

    static std::string* dir_;
    static std::vector<synth::DiskEntry>* entries_;
};
std::string* QuenDisk::dir_ = nullptr;
std::vector<synth::DiskEntry>* QuenDisk::entries_ = nullptr;

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == sep) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

TEST_F(QuenDisk, SummaryTable) {
    RunResult r = run_disk({dir(), "--list-skipped"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Track Side Revs     RPM Bytes  ID ok/bad Data ok/bad Sectors ok/found Fuzzy ID-C.H  Status      Findings\n"
              "    0    0    3  300.00  6250      8*/1*         9/0              9/9     0 -       clean       -; "
              "notes: SID(2*)\n"
              "    1    0    3  300.00  6249        9/0         9/0              9/9     0 -       clean       -\n"
              "    2    0    3  300.00  6251      8*/1*         8/1              8/9     0 -       protected   SBD(4) "
              "ISS(7*); notes: SID(8*)\n"
              "    3    0    3  300.00  6249        9/0         9/0              9/9     0 05.0    faults      -\n"
              "    4    1 failed: not a stream file that can be decoded\n"
              "    5    1    3  300.00  6249        9/0         9/0              9/9     0 -       clean       -\n"
              "Total: 6 track sides, 5 analysed, 1 failed; ID 43/2, data 44/1 (with -s: ID 45/0, data 44/1), sectors "
              "44/45, 0 fuzzy; 2 findings (1 only with the synch search inside fields), 2 notes; 1 with IDs of "
              "another cylinder or head\n"
              "* only with the synch search inside fields\n"
              "notes: sync patterns that ordinary data forms at some bit offset in fields that read correctly; no "
              "protection\n"
              "Verdict:\n"
              "  9 x 512 bytes on 5 track sides (00.0-03.0, 05.1)\n"
              "  unreadable: 02.0 sector 4\n"
              "  protections: 02.0 SBD(4)\n"
              "  notes: 2 incidental sync patterns in fields that read correctly\n"
              "  44 of 45 sectors read\n"
              "Skipped: notes.txt\n");

    // With -s there is nothing to cross-check, and the re-framing artefacts are gone.
    r = run_disk({"-s", dir()});
    EXPECT_NE(r.out.find("    0    0    3  300.00  6249        9/0         9/0              9/9     0 -       clean       -\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nFindings not cross-checked: -s was given.\n"), std::string::npos);
}

TEST_F(QuenDisk, CsvAndJsonRecords) {
    const std::string out = make_temp_dir();
    RunResult r = run_disk({"-b", dir(), out + "/reports", "--csv", out + "/d.csv", "--json", out + "/d.json"});
    ASSERT_EQ(r.code, 1) << r.err;

    const std::vector<std::string> rows = split(read_file(out + "/d.csv"), '\n');
    const nlohmann::json doc = nlohmann::json::parse(read_file(out + "/d.json"));
    const std::vector<std::string> header = split(rows[0].substr(0, rows[0].size() - 1), ',');
    const auto column = [&](const char* name) {
        return std::find(header.begin(), header.end(), name) - header.begin();
    };
    struct Row {
        const char* findings_csv;  // code:sector:value:survives
        const char* failure;
    };
    const Row expected[] = {
        {"", ""},
        {"", ""},
        {"SBD:4:-1:1 ISS:7:1:0", ""},
        {"", ""},
        {"", "not a stream file that can be decoded"},
        {"", ""},
    };
    ASSERT_EQ(rows.size(), 1 + std::size(expected) + 1);  // and the empty rest after the last line end
    ASSERT_EQ(doc["tracks"].size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const synth::DiskEntry& e = (*entries_)[i];
        const std::vector<std::string> f = split(rows[i + 1].substr(0, rows[i + 1].size() - 1), ',');
        ASSERT_EQ(f.size(), header.size()) << rows[i + 1];
        const nlohmann::json& t = doc["tracks"][i];
        EXPECT_EQ(f[column("file")], e.file);
        EXPECT_EQ(f[column("status")], e.status) << e.file;
        EXPECT_EQ(f[column("findings")], expected[i].findings_csv) << e.file;
        EXPECT_EQ(f[column("failure")], expected[i].failure) << e.file;
        EXPECT_EQ(t["file"], e.file);
        EXPECT_EQ(t["status"], e.status);
        if (*expected[i].failure != '\0') {
            EXPECT_EQ(t["failure"], expected[i].failure);
            EXPECT_EQ(f[column("report")], "");
            continue;
        }
        EXPECT_TRUE(t["failure"].is_null());
        EXPECT_TRUE(fs::exists(f[column("report")])) << f[column("report")];
        std::string findings;
        for (const nlohmann::json& g : t["findings"]) {
            if (!findings.empty()) findings += ' ';
            findings += g["code"].get<std::string>() + ":" + std::to_string(g["sector"].get<int>()) + ":" +
                        (g["value"].is_null() ? "-1" : std::to_string(g["value"].get<int>())) + ":" +
                        (g["survives_no_sync"].get<bool>() ? "1" : "0");
        }
        EXPECT_EQ(findings, expected[i].findings_csv);
    }
    EXPECT_EQ(doc["tracks"][3]["ids_carry"], nlohmann::json::parse(R"([{"cylinder":5,"head":0,"count":9}])"));
    EXPECT_EQ(doc["totals"]["failed"], 1);
    EXPECT_EQ(doc["skipped"], nlohmann::json::parse(R"(["notes.txt"])"));
}

TEST_F(QuenDisk, ReportsMatchTheSingleFileRun) {
    const std::string out = make_temp_dir();
    RunResult r = run_disk({"-v", dir() + "/", out});
    ASSERT_EQ(r.code, 1) << r.err;
    // The failed file's own words reach standard error under its name.
    EXPECT_NE(r.err.find("track04.1.raw: Error decoding stream file " + dir() + "/track04.1.raw\n"),
              std::string::npos) << r.err;
    for (const char* name : {"track00.0", "track02.0"}) {
        const std::string single = make_temp_dir() + "/report.txt";
        run_analyser({"-v", dir() + "/" + name + ".raw", single});
        const std::string report = read_file(out + "/" + name + ".txt");
        EXPECT_NE(report.find("Synch Byte"), std::string::npos);
        EXPECT_EQ(without_banner(report), without_banner(read_file(single))) << name;
    }
    EXPECT_FALSE(fs::exists(out + "/track04.1.txt"));
}

TEST_F(QuenDisk, ExitCodes) {
    const std::string empty = make_temp_dir();
    const std::string clean = make_temp_dir();
    fs::copy_file(dir() + "/track01.0.raw", clean + "/track01.0.raw");
    const std::string file = dir() + "/notes.txt";
    const std::string misses = make_temp_dir();
    fs::copy_file(dir() + "/track01.0.raw", misses + "/track01.0.raw");
    for (const char* name : {"track4.0.raw", "Track03.1.raw"}) fs::copy_file(dir() + "/track01.0.raw", misses + "/" + name);
    // Another disk's capture kept aside, and an OUTDIR another run is writing into.
    const std::string aside = make_temp_dir();
    const std::string capture = aside + "/track09.0.raw";
    fs::copy_file(dir() + "/track01.0.raw", capture);
    const std::string two = make_temp_dir();
    for (const char* name : {"track01.0.raw", "disk1_01.0.raw"}) fs::copy_file(dir() + "/track01.0.raw", two + "/" + name);
    const std::string short_scp = make_temp_dir() + "/short.scp";
    synth::write_file(short_scp, {'S', 'C', 'P', 0});
    const std::string busy = make_temp_dir();
    const int lock = open((busy + "/.quendisk.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const struct {
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {{clean}, 0, ""},
        {{"-bm", "-r2", clean}, 0, ""},
        {{"-r4", clean}, 1, ""},  // the track has three revolutions
        {{dir()}, 1, ""},
        {{"-x", clean}, 2, "quendisk: unknown option -x\n"},
        {{"-bt", clean}, 2, "quendisk: -t is not available for whole disks\n"},
        {{clean, "--html"}, 2, "quendisk: --html needs a value\n"},
        {{clean, "--html", clean + "/index.html"}, 2, "quendisk: the page would be written into " + clean + "\n"},
        {{clean, "--pictures"}, 2, "quendisk: --pictures needs OUTDIR, the folder the pictures go to\n"},
        {{clean, empty, "--html", empty}, 2, "quendisk: --html names the folder " + empty + "\n"},
        {{clean, "--html", file + "/index.html"}, 2, "quendisk: cannot write the page into the folder " + file + "\n"},
        {{"-j", "0", clean}, 2, "quendisk: -j needs a number from 1 to 256\n"},
        {{"--csv"}, 2, "quendisk: --csv needs a value\n"},
        {{}, 2, "quendisk: no folder named\n"},
        {{empty + "/missing"}, 2, "quendisk: '" + empty + "/missing' is not a folder\n"},
        {{file}, 2, "quendisk: '" + file + "' is neither a folder nor an SCP image\n"},
        {{empty}, 2, "quendisk: no stream file (<prefix>NN.S.raw) in " + empty + "\n"},
        {{short_scp}, 2, "quendisk: SCP file '" + short_scp + "': shorter than its 16-byte header\n"},
        {{clean, file + "/out"}, 2, "quendisk: cannot create the folder " + file + "/out\n"},
        {{clean, clean + "/."}, 2, "quendisk: OUTDIR would be written into " + clean + "\n"},
        {{clean, clean + "/new/reports"}, 2, "quendisk: OUTDIR would be written into " + clean + "\n"},
        {{clean, "--json", clean + "/../" + fs::path(clean).filename().string() + "/d.json"}, 2,
         "quendisk: the JSON file would be written into " + clean + "\n"},
        {{clean, "--csv", clean + "/d.csv"}, 2, "quendisk: the CSV file would be written into " + clean + "\n"},
        {{clean, "--csv", empty + "/no/d.csv"}, 2, "quendisk: cannot create " + empty + "/no/d.csv\n"},
        {{"--frob", clean}, 2, "quendisk: unknown option --frob\n"},
        {{"--pictures=layout,frob", clean, empty}, 2,
         "quendisk: --pictures: unknown picture 'frob' (known: layout, trans, allsect, sec_layout, sec_data, sec_trans, "
         "all)\n"},
        {{clean, "--timing"}, 2, "quendisk: --timing needs a value\n"},
        {{clean, "--timing", clean + "/t"}, 2, "quendisk: --timing would be written into " + clean + "\n"},
        {{clean, "--timing", file + "/t"}, 2, "quendisk: cannot create " + file + "/t: Not a directory\n"},
        {{"-br", clean}, 2, "quendisk: -r needs a digit\n"},
        {{"-j257", clean}, 2, "quendisk: -j needs a number from 1 to 256\n"},
        {{clean, empty, "extra"}, 2, "quendisk: too many arguments: several inputs need -o OUTDIR\n"},
        {{clean, two, "-o", empty + "/several"}, 0, ""},
        {{"-o", empty + "/twice", clean, clean}, 2, "quendisk: two disks are named " +
             fs::path(clean).filename().string() + ": their reports would share a folder\n"},
        {{two, "--edsk", empty + "/d.dsk"}, 2, "quendisk: --image, --edsk and --imd take one disk, and the inputs "
                                               "hold 2\n"},
        {{clean, "-o"}, 2, "quendisk: -o needs a value\n"},
        {{"-o", fs::path(clean).parent_path().string(), clean, two}, 2,
         "quendisk: the reports of a disk would be written into " + clean + "\n"},
        {{clean, "-o", clean + "/r"}, 2, "quendisk: OUTDIR would be written into " + clean + "\n"},
        // The analysis is done, but a summary lost on the way must not pass for written.
        {{clean, "--csv", "/dev/full"}, 2, "quendisk: error writing /dev/full: No space left on device\n"},
        {{"--version"}, 0, ""},
        // Track03.1.raw is a disk of its own, under the prefix "Track".
        {{misses}, 0, "quendisk: not read, their names are not <prefix>NN.S.raw: track4.0.raw\n"},
        // What quenanalyze refuses to overwrite, quendisk refuses too.
        {{clean, "--csv", capture}, 2, "quendisk: the CSV file " + capture + " is a stream file: not overwritten\n"},
        {{clean, "--html", capture}, 2, "quendisk: the page " + capture + " is a stream file: not overwritten\n"},
        {{clean, "--csv", aside + "/d", "--html", aside + "/./d"}, 2,
         "quendisk: --csv and --html name the same file " + aside + "/d\n"},
        {{clean, busy}, 2, "quendisk: another run is writing into " + busy + "; not started\n"},
        {{clean, "/proc"}, 2, "quendisk: cannot write into the folder /proc\n"},
        {{empty + "/\x1b]2;x\x07"}, 2, "quendisk: '" + empty + "/\\x1B]2;x\\x07' is not a folder\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run_disk(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.back() << "\n" << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.err) << c.args.back();
        if (c.code == 2) {
            // A usage error comes before any table; a lost output comes after it.
            EXPECT_EQ(r.out == "", r.err.find("usage: quendisk") != std::string::npos) << c.args.back();
        }
    }
    EXPECT_NE(run_disk({"-r4", clean}).out.find("    1    0 failed: revolution 4 not in the stream (1 to 3)\n"),
              std::string::npos);
    // No run may leave anything behind in the folder it reads.
    EXPECT_EQ(std::distance(fs::directory_iterator(clean), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(aside), fs::directory_iterator()), 1);
    close(lock);
}

// Entries named like stream files that are none: each is a failed track side with its
// reason, never opened (a FIFO would wait for a writer for ever), never left out.
TEST_F(QuenDisk, SpecialFilesAreFailedTracks) {
    const std::string disk = make_temp_dir();
    fs::copy_file(dir() + "/track01.0.raw", disk + "/track01.0.raw");
    fs::create_symlink(disk + "/gone.raw", disk + "/track02.0.raw");
    fs::create_symlink(disk + "/track03.0.raw", disk + "/track03.0.raw");
    fs::create_directory(disk + "/track04.0.raw");
    ASSERT_EQ(mkfifo((disk + "/track05.0.raw").c_str(), 0600), 0);
    std::ofstream(disk + "/\x1b[31mred\x1b[0m.txt") << "";
    RunResult r = run_disk({disk, "--list-skipped"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),
              "    1    0    3  300.00  6249        9/0         9/0              9/9     0 -       clean       -\n"
              "    2    0 failed: a symbolic link to nothing\n"
              "    3    0 failed: a loop of symbolic links\n"
              "    4    0 failed: a folder, not a file\n"
              "    5    0 failed: a FIFO, not a file\n"
              "Total: 5 track sides, 1 analysed, 4 failed; ID 9/0, data 9/0 (with -s: ID 9/0, data 9/0), sectors "
              "9/9, 0 fuzzy; 0 findings (0 only with the synch search inside fields), 0 notes; 0 with IDs of another "
              "cylinder or head\n"
              "Verdict:\n"
              "  9 x 512 bytes on 1 track side (01.0)\n"
              "  9 of 9 sectors read\n"
              "Skipped: \\x1B[31mred\\x1B[0m.txt\n");
}

// Text cells that a spreadsheet would take for a formula are marked as text; folders
// whose names start with '-' are read like any other.
TEST_F(QuenDisk, CsvCellsAndNamesThatLookLikeSomethingElse) {
    const std::string base = make_temp_dir();
    for (const char* name : {"/=SUM(A1)", "/-x"}) {
        fs::create_directory(base + name);
        fs::copy_file(dir() + "/track01.0.raw", base + name + "/track01.0.raw");
    }
    const std::string cwd = fs::current_path().string();
    ASSERT_EQ(chdir(base.c_str()), 0);
    const RunResult formula = run_disk({"--csv", "d.csv", "--", "=SUM(A1)", "@out"});
    const RunResult dash = run_disk({"./-x"});
    // No option strings pass between the programs: after "--" a name is a name.
    const RunResult dash_alone = run_disk({"--", "-x"});
    const std::string csv = read_file("d.csv");
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_EQ(formula.code, 0) << formula.err;
    EXPECT_EQ(dash.code, 0) << dash.err;
    EXPECT_EQ(dash_alone.code, 0) << dash_alone.err;
    const std::vector<std::string> rows = split(csv, '\n');
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1].substr(0, 26), "'=SUM(A1),track01.0.raw,1,");
    EXPECT_EQ(rows[1].substr(rows[1].size() - 11), ",'=SUM(A1)\r");
    EXPECT_NE(rows[1].find(",'@out/track01.0.txt,"), std::string::npos) << rows[1];
    fs::remove_all(base);
}

// The summaries replace their files whole or not at all, and a table lost on the way
// (a full disk, a closed output, a reader that went away) leaves them written.
TEST_F(QuenDisk, FaultsLeaveEveryFileWhole) {
    const std::string program = std::string(QUEN_BINARY_DIR) + "/quendisk";
    const std::string disk = make_temp_dir();
    fs::copy_file(dir() + "/track01.0.raw", disk + "/track01.0.raw");
    const std::string out = make_temp_dir();
    const std::string table_lost = "quendisk: error writing the table\n";
    for (const StdoutTo to : {StdoutTo::kFullDisk, StdoutTo::kClosed, StdoutTo::kClosedPipe}) {
        fs::remove(out + "/d.csv");
        fs::remove(out + "/d.json");
        const RunResult r = run_program(program, {disk, "--csv", out + "/d.csv", "--json", out + "/d.json"}, to);
        EXPECT_EQ(r.code, 2) << static_cast<int>(to);
        EXPECT_EQ(r.err, table_lost) << static_cast<int>(to);
        EXPECT_EQ(split(read_file(out + "/d.csv"), '\n').size(), 3u) << static_cast<int>(to);
        EXPECT_EQ(nlohmann::json::parse(read_file(out + "/d.json"))["totals"]["analysed"], 1);
    }

    // A disk that fills up during the write: the summary written before stays as it was.
    // Needs a small file system of its own, which only root may mount.
    const std::string tiny = make_temp_dir();
    if (mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=16k") != 0) return;
    std::ofstream(tiny + "/d.csv") << "the previous summary\n";
    std::ofstream(tiny + "/filler") << std::string(3 * 4096, 'x');
    const RunResult r = run_disk({disk, "--csv", tiny + "/d.csv"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "quendisk: error writing " + tiny + "/d.csv: No space left on device\n");
    EXPECT_EQ(read_file(tiny + "/d.csv"), "the previous summary\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(tiny), fs::directory_iterator()), 2);

    // DIR mounted a second time elsewhere is still DIR: OUTDIR there is refused.
    const std::string bound = make_temp_dir();
    if (mount(disk.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0) {
        const RunResult b = run_disk({disk, bound + "/reports"});
        EXPECT_EQ(b.code, 2);
        EXPECT_EQ(b.err.substr(0, b.err.find('\n') + 1), "quendisk: OUTDIR would be written into " + disk + "\n");
        umount(bound.c_str());
    }
    umount(tiny.c_str());
}

// A folder name with a separator, quotes, a line break and a byte that is not UTF-8
// reaches the CSV and JSON records whole.
TEST_F(QuenDisk, HostileFolderNameInCsvAndJson) {
    const std::string base = make_temp_dir();
    const std::string disk = base + "/a,\"b\"\r\nc\xFF";
    fs::create_directory(disk);
    fs::copy_file(dir() + "/track01.0.raw", disk + "/track01.0.raw");
    ASSERT_EQ(run_disk({disk, "--csv", base + "/d.csv", "--json", base + "/d.json"}).code, 0);
    const std::string csv = read_file(base + "/d.csv");
    const std::string name = "\"a,\"\"b\"\"\r\nc\xFF\",track01.0.raw,";
    EXPECT_EQ(csv.substr(csv.find("\r\n") + 2, name.size()), name);
    const std::string folder = ",\"" + base + "/a,\"\"b\"\"\r\nc\xFF\"\r\n";
    EXPECT_EQ(csv.substr(csv.size() - folder.size()), folder);
    EXPECT_EQ(nlohmann::json::parse(read_file(base + "/d.json"))["disk"], base + "/a,\"b\"\r\nc\xEF\xBF\xBD");
    fs::remove_all(base);
}

// An SCP image is a disk like a folder: the same figures as the same ticks in stream
// files, reports under the same names, and a damaged track header a failed track side.
TEST_F(QuenDisk, ScpImageIsADisk) {
    const std::string base = make_temp_dir();
    fs::create_directory(base + "/streams");
    synth::FluxTiming timing;
    timing.sck = kScpSampleClock;
    std::vector<synth::ScpTrackSide> sides;
    for (const TrackSide at : {TrackSide{0, 0}, TrackSide{0, 1}, TrackSide{1, 0}, TrackSide{1, 1}}) {
        const synth::MfmCells cells = synth::build_track(synth::standard_track(at.cylinder, at.side));
        sides.push_back({at, synth::revolutions_to_flux({cells, cells, cells}, timing)});
        char name[32];
        std::snprintf(name, sizeof name, "/streams/track%02d.%d.raw", at.cylinder, at.side);
        synth::write_file(base + name, synth::stream_at_scp_clock(sides.back().flux));
    }
    std::vector<uint8_t> bytes = synth::encode_scp(sides);
    const size_t entry = synth::scp_table_entry_at({1, 1});
    bytes[bytes[entry] | bytes[entry + 1] << 8 | bytes[entry + 2] << 16] = 'X';
    synth::fix_scp_checksum(bytes);
    const std::string image = base + "/disk.scp";
    synth::write_file(image, bytes);

    const RunResult scp = run_disk({image, base + "/out", "--csv", base + "/d.csv", "--timing", base + "/t"});
    const RunResult streams = run_disk({base + "/streams"});
    EXPECT_EQ(scp.code, 1) << scp.err;
    EXPECT_EQ(streams.code, 0) << streams.err;
    // The timing pictures are named by the track side, as the reports.
    EXPECT_TRUE(fs::exists(base + "/t/track01.0.scatter.svg"));
    // The RPM column aside: a stream's index clock is not the image's.
    const auto without_rpm = [](const std::string& row) { return row.substr(0, 16) + row.substr(23); };
    const std::vector<std::string> rows = split(streams.out, '\n');
    const std::vector<std::string> scp_rows = split(scp.out, '\n');
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(without_rpm(scp_rows[i]), without_rpm(rows[i]));
    EXPECT_NE(scp.out.find("    1    1 failed: SCP file '" + image + "': track 1.1: no track header at 0x"),
              std::string::npos) << scp.out;
    const std::string report = read_file(base + "/out/track01.0.txt");
    EXPECT_NE(report.find("\n  Stream file '" + image + "' track 1.0 3 revolutions"), std::string::npos) << report;
    EXPECT_FALSE(fs::exists(base + "/out/track01.1.txt"));
    EXPECT_EQ(split(read_file(base + "/d.csv"), '\n')[1].substr(0, 26), "disk,disk.scp:00.0,0,0,cle");
    fs::remove_all(base);
}

// A folder of stream files under several prefixes is a collection: one disk per prefix,
// each with its own block, records, folder of reports and section of the page.
TEST_F(QuenDisk, FolderWithSeveralPrefixesIsACollection) {
    const std::string base = make_temp_dir();
    const std::string in = base + "/in";
    fs::create_directory(in);
    for (const char* name : {"track01.0.raw", "disk1_00.0.raw", "disk1_01.0.raw", "7_01.0.raw"}) {
        fs::copy_file(dir() + "/track01.0.raw", in + "/" + name);
    }
    std::ofstream(in + "/track100.0.raw") << "";
    const std::string out = base + "/out";
    const RunResult r = run_disk({in, out, "--list-skipped", "--csv", base + "/d.csv", "--json", base + "/d.json",
                                  "--html", base + "/d.html"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string csv = read_file(base + "/d.csv");
    const nlohmann::json json = nlohmann::json::parse(read_file(base + "/d.json"));
    const std::string page = read_file(base + "/d.html");
    const struct {
        const std::string& text;
        std::string part;
    } holds[] = {
        {r.out, "Disk 7\nTrack Side"},
        {r.out, "\n\nDisk disk1\nTrack Side"},
        {r.out, "\n\nDisk track\nTrack Side"},
        {r.out, "\nSkipped: track100.0.raw\n"},
        {csv, "\r\ndisk1,disk1_00.0.raw,0,0,"},
        {csv, "\r\ntrack,track01.0.raw,1,0,"},
        {csv, "\r\n7,7_01.0.raw,1,0,"},
        {page, "<h2 id=\"disk2-disk\">Disk disk1</h2>"},
        {page, "<tr id=\"disk3-track-01.0\">"},
    };
    for (const auto& h : holds) EXPECT_NE(h.text.find(h.part), std::string::npos) << h.part;
    ASSERT_EQ(json["disks"].size(), 3u);
    EXPECT_EQ(json["disks"][1]["name"], "disk1");
    EXPECT_EQ(json["disks"][1]["tracks"][1]["disk"], "disk1");
    for (const char* report : {"/7/track01.0.txt", "/disk1/track00.0.txt", "/disk1/track01.0.txt", "/track/track01.0.txt"}) {
        EXPECT_TRUE(fs::exists(out + report)) << report;
    }
    fs::remove_all(base);
}

constexpr FindingFigure kSbd4{static_cast<int32_t>(ProtType::SBD), 4, -1};

// The status and failure reason a track side gets from its runs' figures.
TEST(TrackSummary, StatusFromTheRunsFigures) {
    using S = disk::TrackStatus;
    const struct {
        const char* what;
        void (*change)(RunFigures& main, RunFigures& no_sync);
        S status;
        const char* reason;
    } cases[] = {
        {"another cylinder in a bad ID", [](RunFigures& m, RunFigures&) { m.ids.push_back({5, 0, 2, 2, false}); },
         S::Clean, ""},
        {"another head in a good ID", [](RunFigures& m, RunFigures&) { m.ids.push_back({1, 1, 2, 2, true}); },
         S::Faults, ""},
        {"bad data", [](RunFigures& m, RunFigures&) { m.sectors[0].data_crc_ok = false; }, S::Faults, ""},
        {"a finding the -s run has on another sector",
         [](RunFigures& m, RunFigures& s) { m.findings = {kSbd4}; s.findings = {{kSbd4.kind, 5}}; },
         S::Clean, ""},
        {"stopped short", [](RunFigures& m, RunFigures&) { m.completed = false; }, S::Failed,
         "cannot write the report file"},
        {"two revolutions",
         [](RunFigures& m, RunFigures&) { m.failure = RunFailure::TooFewRevolutions; m.revolutions = 2; }, S::Failed,
         "2 revolutions, 3 needed"},
    };
    RunFigures clean;
    clean.completed = true;
    clean.revolutions = 3;
    clean.ids = {{1, 0, 1, 2, true}};
    clean.sectors = {{1, true, true, true, 0}};
    for (const auto& c : cases) {
        RunFigures main = clean;
        RunFigures no_sync = clean;
        c.change(main, no_sync);
        disk::TrackSummary t;
        t.track = 1;
        disk::summarise_track(t, main, &no_sync);
        EXPECT_STREQ(disk::status_word(t.status), disk::status_word(c.status)) << c.what;
        EXPECT_EQ(t.failure_reason, c.reason) << c.what;
    }
}

// A track whose sector 5 carries, inside its data, a sync sequence and an ID field: a
// sector within a sector, with a data CRC that holds in the sector's own framing.
synth::MfmCells sector_within_sector() {
    synth::TrackPlan plan = synth::standard_track(0, 0);
    synth::MfmCells c;
    c.bytes(0x4E, plan.gap1_4e);
    for (const synth::SectorPlan& s : plan.sectors) {
        if (s.sector != 5) {
            synth::write_sector(c, s);
            continue;
        }
        synth::write_id_field(c, s);
        c.bytes(0x4E, s.gap3_4e);
        synth::write_data_mark(c, s);
        c.bytes(0x4E, 200);
        c.bytes(0x00, 12);
        c.sync_a1(3);
        const uint16_t crc = synth::crc_of({{0xA1, 0xA1, 0xA1, 0xFE, 0, 0, 12, 2}});
        c.bytes({0xFE, 0, 0, 12, 2, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF)});
        c.bytes(0x4E, 512 - 200 - 12 - 3 - 7);
        c.crc_bytes();
        c.bytes(0x4E, s.gap4_4e);
    }
    while (c.size() / 16 < plan.total_bytes) c.byte(0x4E);
    return c;
}

// One track side of each kind the verdict tells apart, each alone on a disk: its status,
// where its sync patterns are filed, and what the verdict says of it.
TEST(DiskVerdict, EachKindOfTrack) {
    using synth::TrackPlan;
    const auto with = [](void (*change)(TrackPlan&)) {
        TrackPlan plan = synth::standard_track(0, 0);
        change(plan);
        return synth::track_stream(synth::build_track(plan));
    };
    TrackPlan weak_plan = synth::standard_track(0, 0);
    const synth::MfmCells weak_first = synth::build_track(weak_plan);
    weak_plan.sectors[2].data = std::vector<uint8_t>(512, 0x6D);
    const synth::MfmCells weak_second = synth::build_track(weak_plan);
    const struct {
        const char* what;
        std::vector<uint8_t> stream;
        const char* status;
        const char* sid_in;  // where sector 5's sync patterns are filed: "notes", "findings" or ""
        const char* verdict;  // the verdict's members that must be as given
    } cases[] = {
        {"a sector of 0x14 bytes", with([](TrackPlan& p) { p.sectors[4].data.assign(512, 0x14); }), "clean", "notes",
         R"({"formats":[{"sectors":9,"size":512,"track_sides":["00.0"]}],"protections":[],"unreadable":[]})"},
        // The inner ID field is found as a sector of its own, which has no data.
        {"a sector within a sector", synth::track_stream(sector_within_sector()), "protected", "",
         R"({"unreadable":[{"track_side":"00.0","sector":12}],"weak":[],
             "protections":[{"track_side":"00.0","code":"SND","sector":12}]})"},
        {"a weak sector", synth::revolutions_to_stream({weak_first, weak_second, weak_first}), "protected", "",
         R"({"weak":[{"track_side":"00.0","sector":3}],"protections":[]})"},
        {"deleted data", with([](TrackPlan& p) { p.sectors[2].data_mark = 0xF8; }), "protected", "",
         R"({"deleted":[{"track_side":"00.0","sector":3}],"protections":[],"sectors_read":9})"},
        {"no ID field", with([](TrackPlan& p) { p.sectors.clear(); p.index_mark = false; }), "unformatted", "",
         R"({"formats":[],"unformatted":["00.0"],"sectors_found":0})"},
        {"five sectors of 1024 bytes",
         with([](TrackPlan& p) {
             p.sectors.resize(5);
             for (synth::SectorPlan& s : p.sectors) s.size_code = 3;
         }),
         "protected", "",
         R"({"formats":[{"sectors":5,"size":1024,"track_sides":["00.0"]}],
             "protections":[{"track_side":"00.0","code":"NOS","sector":null}]})"},
    };
    for (const auto& c : cases) {
        const std::string dir = make_temp_dir();
        const std::string out = make_temp_dir();
        synth::write_file(dir + "/track00.0.raw", c.stream);
        RunResult r = run_disk({dir, "--json", out + "/d.json"});
        ASSERT_EQ(r.code, 0) << c.what << "\n" << r.err;
        const nlohmann::json doc = nlohmann::json::parse(read_file(out + "/d.json"));
        const nlohmann::json& t = doc["tracks"][0];
        EXPECT_EQ(t["status"], c.status) << c.what << "\n" << r.out;
        for (const char* list : {"notes", "findings"}) {
            bool sid5 = false;
            for (const nlohmann::json& f : t[list]) sid5 = sid5 || (f["code"] == "SID" && f["sector"] == 5);
            EXPECT_EQ(sid5, std::string(list) == c.sid_in) << c.what << ": " << list << "\n" << r.out;
        }
        const nlohmann::json verdict = nlohmann::json::parse(c.verdict);
        for (const auto& [key, value] : verdict.items()) {
            EXPECT_EQ(doc["verdict"][key], value) << c.what << ": " << key;
        }
        fs::remove_all(dir);
        fs::remove_all(out);
    }
}

TEST_F(QuenDisk, SameOutcomeWhateverTheWorkers) {
    std::vector<std::string> outputs;
    for (const char* jobs : {"-j1", "-j2", "-j7"}) {
        const std::string out = make_temp_dir();
        RunResult r = run_disk({jobs, "-b", dir(), out, "--csv", out + "/d.csv", "--json", out + "/d.json"});
        std::string csv = read_file(out + "/d.csv");
        std::string json = read_file(out + "/d.json");
        // The outputs name their folder: only what follows it must agree.
        for (std::string* text : {&csv, &json}) {
            for (size_t at; (at = text->find(out)) != std::string::npos;) text->replace(at, out.size(), "OUT");
        }
        outputs.push_back(std::to_string(r.code) + r.out + r.err + csv + json);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(outputs[0], outputs[2]);
}

}  // namespace
}  // namespace quen::testing
