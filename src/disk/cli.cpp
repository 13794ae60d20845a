#include "disk/cli.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <system_error>
#include <utility>

#include "base/names.h"
#include "disk/html.h"
#include "disk/images.h"
#include "disk/messages.h"
#include "disk/outputs.h"
#include "base/owned_file.h"
#include "disk/pictures.h"
#include "disk/summary.h"
#include "disk/workers.h"
#include "driver/option_scan.h"
#include "stream/capture_load.h"
#include "stream/stream.h"

namespace quen::disk {
namespace {

const char kUsage[] =
    "usage: quendisk [-spvbcfm] [-r<num>] [-j N] [--csv FILE] [--json FILE] [--list-skipped]\n"
    "                [--html FILE] [--timing DIR] [--pictures[=LIST]] [--image FILE] [--edsk FILE] [--imd FILE]\n"
    "                INPUT [OUTDIR]\n"
    "       quendisk [options] -o OUTDIR INPUT...\n"
    "       analyses every track side of each INPUT with the analyser's options (-t is not\n"
    "       available) and prints a summary table, one line per track side. An INPUT is a\n"
    "       folder of stream files <prefix>NN.S.raw (one disk per prefix) or an SCP image\n"
    "       -j N           analyse N files at once (default: the number of cores)\n"
    "       --csv FILE     write the summary as CSV\n"
    "       --json FILE    write the summary as JSON\n"
    "       --list-skipped name the entries of the folders that are not stream files\n"
    "       --help, --version  this text, or the version\n"
    "       --html FILE    write a page for a browser: the tracks' grid, the disk map, the\n"
    "                      summary and each track side's flux timing\n"
    "       --timing DIR   write each track side's flux timing pictures into DIR as SVG\n"
    "       --pictures[=LIST]\n"
    "                      draw ploticus pictures into OUTDIR/trackNN.S (needs ploticus):\n"
    "                      LIST of layout, trans, allsect, sec_layout, sec_data, sec_trans\n"
    "                      or all (default: layout,allsect)\n"
    "       --image FILE   write a plain sector image (.img, .st) when all tracks share one geometry\n"
    "       --edsk FILE    write an Extended DSK image: IDs, status bytes and weak copies as read\n"
    "       --imd FILE     write an ImageDisk image\n"
    "       OUTDIR         write each track's report to OUTDIR/trackNN.S.txt; with several\n"
    "                      disks, to OUTDIR/<disk>/trackNN.S.txt\n"
    "       -o OUTDIR      the same, required when there is more than one INPUT\n";

constexpr unsigned kMaxJobs = 256;
// In OUTDIR, held locked while a run writes there.
constexpr const char* kOutdirLockName = ".quendisk.lock";

struct UsageError {
    std::string message;
};

struct Command {
    DiskOptions disk;
    std::vector<std::string> inputs;
    std::string csv_path;
    std::string json_path;
    std::string html_path;
    std::string timing_dir;
    ImagePaths images;
    bool pictures = false;
    std::string picture_choice = kDefaultPictures;
    bool list_skipped = false;
    bool help = false;
    bool version = false;
};

// The analyser's own scan, with what a whole disk cannot take: -t would scatter plot files
// over the current folder, and a revolution must be named by a digit.
void apply_analyser_cluster(const std::string& a, RunOptions& settings) {
    const OptionScan scan = scan_option_cluster(a, settings);
    if (settings.plot) throw UsageError{"-t is not available for whole disks"};
    switch (scan.fault) {
    case OptionFault::None: break;
    case OptionFault::UnknownLetter: throw UsageError{std::string("unknown option -") + scan.letter};
    case OptionFault::RevolutionWithoutDigit: throw UsageError{"-r needs a digit"};
    }
}

unsigned parse_jobs(const std::string& text) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || n < 1 || n > kMaxJobs) {
        throw UsageError{"-j needs a number from 1 to " + std::to_string(kMaxJobs)};
    }
    return static_cast<unsigned>(n);
}

Command parse(const std::vector<std::string>& args, unsigned default_jobs) {
    Command cmd;
    cmd.disk.jobs = default_jobs;
    std::vector<std::string> positional;
    bool options_end = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](const char* what) -> std::string {
            if (i + 1 >= args.size()) throw UsageError{std::string(what) + " needs a value"};
            return args[++i];
        };
        if (options_end || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            options_end = true;
        } else if (a == "-o") {
            cmd.disk.outdir = value("-o");
            if (cmd.disk.outdir.empty()) throw UsageError{"-o needs a folder"};
        } else if (a == "--csv") {
            cmd.csv_path = value("--csv");
        } else if (a == "--json") {
            cmd.json_path = value("--json");
        } else if (a == "--html") {
            cmd.html_path = value("--html");
        } else if (a == "--timing") {
            cmd.timing_dir = value("--timing");
        } else if (a == "--image") {
            cmd.images.raw = value("--image");
        } else if (a == "--edsk") {
            cmd.images.edsk = value("--edsk");
        } else if (a == "--imd") {
            cmd.images.imd = value("--imd");
        } else if (a == "--pictures") {
            cmd.pictures = true;
        } else if (a.compare(0, 11, "--pictures=") == 0) {
            cmd.pictures = true;
            try {
                cmd.picture_choice = picture_choice(a.substr(11));
            } catch (const DiskError& e) {
                throw UsageError{e.message};
            }
        } else if (a == "--list-skipped") {
            cmd.list_skipped = true;
        } else if (a == "--help" || a == "-h") {
            cmd.help = true;
        } else if (a == "--version") {
            cmd.version = true;
        } else if (a == "-j") {
            cmd.disk.jobs = parse_jobs(value("-j"));
        } else if (a.compare(0, 2, "-j") == 0) {
            cmd.disk.jobs = parse_jobs(a.substr(2));
        } else if (a[1] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            apply_analyser_cluster(a, cmd.disk.analysis);
            cmd.disk.analyser_options.push_back(a);
        }
    }
    if (cmd.help || cmd.version) return cmd;
    if (positional.empty()) throw UsageError{"no folder named"};
    if (cmd.disk.outdir.empty() && positional.size() > 2) {
        throw UsageError{"too many arguments: several inputs need -o OUTDIR"};
    }
    if (cmd.disk.outdir.empty() && positional.size() == 2) {
        cmd.disk.outdir = positional[1];
        positional.pop_back();
    }
    cmd.inputs = positional;
    // The page shows the timing too; only what is drawn is worth summarising.
    if (!cmd.html_path.empty() || !cmd.timing_dir.empty()) cmd.disk.detail |= kDetailTiming;
    if (cmd.images.any()) cmd.disk.detail |= kDetailSectorData;
    return cmd;
}

bool same_object(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `path` is the folder `dir` or lies anywhere below it, whether or not `path`
// exists yet: by name with links resolved, and by identity, so that a bind mount of
// `dir` elsewhere is still `dir`.
bool within(const std::string& path, const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::canonical(dir, ec);
    if (ec) return false;
    const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return false;
    auto b = base.begin();
    auto q = p.begin();
    for (; b != base.end() && q != p.end() && *q == *b; ++b, ++q) {
    }
    if (b == base.end()) return true;
    struct stat folder {};
    if (stat(base.c_str(), &folder) != 0) return false;
    for (fs::path up = p;; up = up.parent_path()) {
        struct stat st {};
        if (stat(up.c_str(), &st) == 0 && same_object(st, folder)) return true;
        if (up == up.parent_path()) return false;
    }
}

// The folder being read stays as it was: nothing this command writes may land in it.
void refuse_inside_dir(const std::string& dir, const std::string& path, const char* what) {
    if (path.empty() || !within(path, dir)) return;
    throw UsageError{std::string(what) + " would be written into " + dir};
}

// A capture kept elsewhere (another disk's, or one copied aside) is never overwritten
// by a summary, whatever its name.
void refuse_capture(const std::string& path, const char* what) {
    const char* kind = path.empty() ? nullptr : capture_kind(path);
    if (kind == nullptr) return;
    throw UsageError{std::string(what) + " " + path + " is a " + kind + ": not overwritten"};
}

bool same_file(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
    const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    if (!ec && pa == pb) return true;
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && same_object(sa, sb);
}

// Two outputs into one file would leave only the one written last.
void refuse_shared_outputs(const Command& cmd) {
    const std::pair<const char*, const std::string*> outputs[] = {
        {"--csv", &cmd.csv_path},      {"--json", &cmd.json_path},    {"--html", &cmd.html_path},
        {"--image", &cmd.images.raw}, {"--edsk", &cmd.images.edsk}, {"--imd", &cmd.images.imd}};
    for (size_t i = 0; i < std::size(outputs); ++i) {
        for (size_t k = i + 1; k < std::size(outputs); ++k) {
            const std::string& a = *outputs[i].second;
            const std::string& b = *outputs[k].second;
            if (a.empty() || b.empty() || !same_file(a, b)) continue;
            throw UsageError{std::string(outputs[i].first) + " and " + outputs[k].first + " name the same file " +
                             a};
        }
    }
}

void prepare_outdir(const std::string& outdir) {
    if (outdir.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(outdir, ec);
    if (!std::filesystem::is_directory(outdir, ec)) throw UsageError{"cannot create the folder " + outdir};
}

// Held for the whole run: two runs writing their reports into one OUTDIR would mix them.
// The lock is the kernel's, so a run that dies leaves none behind.
class OutdirLock {
public:
    OutdirLock() = default;
    ~OutdirLock() {
        if (fd_ >= 0) close(fd_);
    }
    OutdirLock(const OutdirLock&) = delete;
    OutdirLock& operator=(const OutdirLock&) = delete;

    // Refuses a folder it cannot write into, and one another run holds, at once: a run
    // that waited in silence would look hung.
    void take(const std::string& outdir) {
        if (outdir.empty()) return;
        const std::string path = path_in(outdir, kOutdirLockName);
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 || access(outdir.c_str(), W_OK | X_OK) != 0) {
            throw UsageError{"cannot write into the folder " + outdir};
        }
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            throw UsageError{"another run is writing into " + outdir + "; not started"};
        }
    }

private:
    int fd_ = -1;
};
// An image replaces its file only once whole, in the same folder: that folder must take new files.
void check_folder_writable(const std::string& path) {
    if (path.empty()) return;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) throw UsageError{"cannot create " + path};
}

// Fails early, before the analysis, without truncating a file the analysis may never replace.
void check_creatable(const std::string& path) {
    if (path.empty()) return;
    OwnedFile f(std::fopen(path.c_str(), "a"));
    if (!f) throw UsageError{"cannot create " + path};
}

// Written beside its name and renamed over it once whole: a full disk or a kill during
// the write leaves the previous summary as it was.
bool write_output(const std::string& path, FILE* err, const std::function<void(FILE*)>& write) {
    if (path.empty()) return true;
    const std::string error = write_file(path, Replace::kWhole, write);
    if (error.empty()) return true;
    std::fprintf(err, "quendisk: error writing %s: %s\n", shown_name(path).c_str(), error.c_str());
    return false;
}

// The runs' own standard error, in track order, each line under its file's name, and
// that under its disk's when there are several.
void forward_messages(FILE* err, const DiskSummary& disk, bool several) {
    const std::string where = several ? disk.name + ": " : "";
    for (const TrackSummary& t : disk.tracks) print_lines(err, where + t.file_name + ": ", t.messages);
}

// Every disk of the run with the folder its reports go to: OUTDIR itself for one disk,
// OUTDIR/<name> for each of several. A disk of several in one folder is named by its
// prefix, and by its folder too when there are several inputs.
struct PlannedDisk {
    DiskListing listing;
    std::string outdir;
};

std::vector<PlannedDisk> plan_disks(std::vector<InputListing>& inputs, const std::vector<std::string>& paths,
                                    const std::string& outdir) {
    std::vector<PlannedDisk> disks;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const bool qualified = inputs.size() > 1 && inputs[i].disks.size() > 1;
        for (DiskListing& d : inputs[i].disks) {
            if (qualified) d.name = input_name(paths[i]) + "_" + d.name;
            disks.push_back({std::move(d), outdir});
        }
    }
    if (disks.size() < 2) return disks;
    std::set<std::string> names;
    for (PlannedDisk& d : disks) {
        if (!names.insert(d.listing.name).second) {
            throw UsageError{"two disks are named " + d.listing.name + ": their reports would share a folder"};
        }
        if (!outdir.empty()) d.outdir = path_in(outdir, d.listing.name);
    }
    return disks;
}

}  // namespace

int run_quendisk(const std::vector<std::string>& args, const DiskIo& io) {
    Command cmd;
    std::vector<InputListing> inputs;
    std::vector<PlannedDisk> planned;
    OutdirLock outdir_lock;
    try {
        cmd = parse(args, io.default_jobs);
        if (cmd.help) {
            std::fputs(kUsage, io.out);
            return kAllAnalysed;
        }
        if (cmd.version) {
            std::fprintf(io.out, "quendisk (%s)\n", kProgramName);
            return kAllAnalysed;
        }
        for (const std::string& input : cmd.inputs) {
            try {
                inputs.push_back(list_input(input));
            } catch (const DiskError& e) {
                throw UsageError{e.message};
            }
            const InputListing& listing = inputs.back();
            if (listing.disks.empty()) throw UsageError{"no stream file (<prefix>NN.S.raw) in " + input};
            if (listing.disks.front().image && listing.disks.front().tracks.empty()) {
                throw UsageError{"no track side in the SCP image " + input};
            }
            if (!listing.near_misses.empty()) {
                std::string names;
                for (const std::string& n : listing.near_misses) names += (names.empty() ? "" : ", ") + n;
                std::fprintf(io.err, "quendisk: not read, their names are not <prefix>NN.S.raw: %s\n", names.c_str());
            }
        }
        planned = plan_disks(inputs, cmd.inputs, cmd.disk.outdir);
        // The images are of one disk; which of several to take would be a guess.
        if (cmd.images.any() && planned.size() > 1) {
            throw UsageError{"--image, --edsk and --imd take one disk, and the inputs hold " +
                             std::to_string(planned.size())};
        }
        for (const std::string& input : cmd.inputs) {
            // An image is one file: what is written beside it cannot change it.
            if (!std::filesystem::is_directory(input)) continue;
            // A disk's own folder of reports may be another input: "-o out out/a out/b".
            for (const PlannedDisk& d : planned) {
                if (d.outdir != cmd.disk.outdir) refuse_inside_dir(input, d.outdir, "the reports of a disk");
            }
            refuse_inside_dir(input, cmd.csv_path, "the CSV file");
            refuse_inside_dir(input, cmd.json_path, "the JSON file");
            refuse_inside_dir(input, cmd.html_path, "the page");
            refuse_inside_dir(input, cmd.timing_dir, "--timing");
            refuse_inside_dir(input, cmd.images.raw, "the image");
            refuse_inside_dir(input, cmd.images.edsk, "the EDSK image");
            refuse_inside_dir(input, cmd.images.imd, "the IMD image");
            refuse_inside_dir(input, cmd.disk.outdir, "OUTDIR");
        }
        refuse_capture(cmd.csv_path, "the CSV file");
        refuse_capture(cmd.json_path, "the JSON file");
        refuse_capture(cmd.html_path, "the page");
        refuse_capture(cmd.images.raw, "the image");
        refuse_capture(cmd.images.edsk, "the EDSK image");
        refuse_capture(cmd.images.imd, "the IMD image");
        refuse_shared_outputs(cmd);
        if (const std::string why = page_problem(cmd.html_path); !why.empty()) throw UsageError{why};
        if (const std::string why = cmd.pictures ? pictures_problem(cmd.disk.outdir) : ""; !why.empty()) {
            throw UsageError{why};
        }
        prepare_outdir(cmd.disk.outdir);
        cmd.disk.plot_files = cmd.pictures;
        outdir_lock.take(cmd.disk.outdir);
        for (const PlannedDisk& d : planned) {
            if (d.outdir != cmd.disk.outdir) prepare_outdir(d.outdir);
        }
        check_creatable(cmd.csv_path);
        check_creatable(cmd.json_path);
        for (const std::string* p : {&cmd.images.raw, &cmd.images.edsk, &cmd.images.imd}) check_folder_writable(*p);
    } catch (const UsageError& e) {
        // The messages name files and folders: whatever bytes their names hold stay harmless.
        std::fprintf(io.err, "quendisk: %s\n", shown_name(e.message).c_str());
        std::fputs(kUsage, io.err);
        return kUsageError;
    }

    const bool several = planned.size() > 1;
    std::vector<DiskSummary> disks;
    std::vector<DiskOptions> options;
    for (PlannedDisk& d : planned) {
        DiskOptions opts = cmd.disk;
        opts.outdir = d.outdir;
        const ProgressFn progress = io.progress ? progress_line(io.err, "track") : ProgressFn();
        disks.push_back(analyse_disk(opts, d.listing, progress));
        if (io.progress) end_progress_line(io.err);
        // Each image's bytes are held only while its own disk is analysed.
        d.listing.image.reset();
        options.push_back(std::move(opts));
    }

    bool all_analysed = true;
    for (const DiskSummary& disk : disks) {
        forward_messages(io.err, disk, several);
        if (several) std::fprintf(io.out, "%sDisk %s\n", &disk == &disks.front() ? "" : "\n",
                                  shown_name(disk.name).c_str());
        write_table(io.out, disk);
        all_analysed = all_analysed && disk.all_analysed();
    }
    if (cmd.list_skipped) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            for (const std::string& name : inputs[i].skipped) {
                const std::string shown = inputs.size() > 1 ? path_in(cmd.inputs[i], name) : name;
                std::fprintf(io.out, "Skipped: %s\n", shown_name(shown).c_str());
            }
        }
    }
    // A table lost to a full disk or a closed pipe must not pass for a summary.
    bool written = std::fflush(io.out) == 0 && std::ferror(io.out) == 0;
    if (!written) std::fprintf(io.err, "quendisk: error writing the table\n");
    // Before the JSON, which records what the plain image holds.
    if (cmd.images.any()) written = write_images(cmd.images, disks.front(), io.err) && written;
    written = write_output(cmd.csv_path, io.err, [&](FILE* f) { write_csv(f, disks); }) && written;
    written = write_output(cmd.json_path, io.err, [&](FILE* f) { write_json(f, disks); }) && written;
    if (!cmd.timing_dir.empty()) {
        for (const DiskSummary& disk : disks) {
            // Several disks name the same track sides: each gets a folder of its own.
            const std::string dir = several ? path_in(cmd.timing_dir, disk.name) : cmd.timing_dir;
            if (const std::string why = write_timing_pictures(disk, dir); !why.empty()) {
                std::fprintf(io.err, "quendisk: %s\n", shown_name(why).c_str());
                written = false;
            }
        }
    }
    bool pictures_drawn = true;
    if (cmd.pictures) {
        const ProgressStyle style = io.progress ? ProgressStyle::kTerminal : ProgressStyle::kLog;
        for (size_t i = 0; i < disks.size(); ++i) {
            pictures_drawn =
                draw_disk_pictures(disks[i], options[i], cmd.picture_choice, io.err, style) && pictures_drawn;
        }
    }
    if (!cmd.html_path.empty()) {
        try {
            write_disk_page(disks, {cmd.html_path, cmd.disk.analyser_options, cmd.pictures});
        } catch (const DiskError& e) {
            std::fprintf(io.err, "quendisk: %s\n", shown_name(e.message).c_str());
            written = false;
        }
    }
    if (!written) return kUsageError;
    if (!pictures_drawn) return kSomeFailed;
    return all_analysed ? kAllAnalysed : kSomeFailed;
}

}  // namespace quen::disk
