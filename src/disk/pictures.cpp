#include "disk/pictures.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <system_error>

#include "base/files.h"
#include "disk/html.h"
#include "disk/timing_svg.h"
#include "disk/messages.h"
#include "disk/track_names.h"
#include "disk/workers.h"
#include "base/names.h"
#include "base/owned_file.h"

extern char** environ;

namespace quen::disk {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInstalledRenderName = "quenanalyze-render";

bool is_executable_file(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec) && access(p.c_str(), X_OK) == 0;
}

fs::path on_path(const char* name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string_view rest(path);
    while (true) {
        const size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        const fs::path candidate = fs::path(dir.empty() ? "." : std::string(dir)) / name;
        if (is_executable_file(candidate)) return candidate;
        if (colon == std::string_view::npos) return {};
        rest.remove_prefix(colon + 1);
    }
}

// The names of our plot and picture files. Compiled when first needed: most runs draw no
// pictures, and every run would pay for it at start.
const std::regex& our_file_names() {
    static const std::regex ours(R"(((layout|trans|allsect|sec_(layout|data|trans))(_[0-9]+)?)\.(dat|png|svg))");
    return ours;
}

// Our files in `dir` that `remove(kind, extension)` names, removed; nothing else in
// the folder is touched.
template <class Remove>
void remove_plot_files(const fs::path& dir, Remove&& remove) {
    std::error_code ec;
    std::vector<fs::path> chosen;
    std::smatch m;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (std::regex_match(name, m, our_file_names()) && remove(m[2].str(), m[5].str())) chosen.push_back(it->path());
    }
    for (const fs::path& p : chosen) fs::remove(p, ec);
}

// The files an earlier picture run may have left: a sector that is gone must not keep
// its pictures.
void remove_earlier_pictures(const fs::path& dir) {
    remove_plot_files(dir, [](const std::string&, const std::string&) { return true; });
}

// The plot files of the pictures not chosen are not kept: the sector files alone come
// to about 2 MB a track side.
void remove_unchosen_plot_files(const fs::path& dir, const std::string& choice) {
    remove_plot_files(dir, [&](const std::string& kind, const std::string&) {
        return ("," + choice + ",").find("," + kind + ",") == std::string::npos;
    });
}

// Runs the render script on one folder; its standard output (the names of the pictures
// drawn) is dropped, its messages go to `messages`. Returns its exit status, -1 when
// it could not be started.
int render(const std::string& script, const std::string& caption, const std::string& choice, const std::string& dir,
           FILE* messages) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::fflush(messages);
    posix_spawn_file_actions_adddup2(&actions, fileno(messages), STDERR_FILENO);
    std::vector<std::string> args = {"bash", script, "-t", caption, "-p", choice, dir};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The script's pipes end its commands as usual: SIGPIPE is ignored only in this process.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t piped;
    sigemptyset(&piped);
    sigaddset(&piped, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &piped);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "bash", &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(messages, "cannot run %s: %s\n", script.c_str(), std::strerror(spawned));
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Draws one track side's pictures from the plot files its analysis wrote; returns what
// went wrong, empty when nothing did.
std::string track_pictures(const TrackSummary& t, const PictureSettings& settings, const std::string& script) {
    const std::string dir = picture_dir(settings.outdir, t);
    OwnedFile messages(std::tmpfile());
    if (!messages) return "cannot make a temporary file: " + std::string(std::strerror(errno)) + "\n";
    remove_unchosen_plot_files(dir, settings.choice);
    // The script's notes about sectors without data are no fault; its messages matter
    // only when a picture is missing.
    if (render(script, t.file_name, settings.choice, dir, messages.get()) == 0) return {};
    return read_back(messages.get()) + "the pictures were not all drawn\n";
}

}  // namespace

std::string prepare_picture_dir(const std::string& outdir, const TrackSummary& t) {
    const std::string dir = picture_dir(outdir, t);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return "cannot create " + dir + ": " + ec.message();
    remove_earlier_pictures(dir);
    return {};
}

std::string find_render_script() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path bin = exe.parent_path();
        for (const fs::path& candidate : {bin / kInstalledRenderName, bin / "../share/quenanalyze/plots/render.sh",
                                          bin / "../plots/render.sh"}) {
            if (is_executable_file(candidate)) return candidate.lexically_normal().string();
        }
    }
    const fs::path installed = on_path(kInstalledRenderName);
    if (!installed.empty()) return installed.string();
#ifdef QUEN_PLOTS_SOURCE_DIR
    const fs::path source = fs::path(QUEN_PLOTS_SOURCE_DIR) / "render.sh";
    if (is_executable_file(source)) return source.string();
#endif
    return {};
}

bool ploticus_available() { return !on_path("ploticus").empty(); }

std::string pictures_problem(const std::string& outdir) {
    if (outdir.empty()) return "--pictures needs OUTDIR, the folder the pictures go to";
    if (!ploticus_available()) return "--pictures needs ploticus (Debian package ploticus), which is not installed";
    if (find_render_script().empty()) {
        return "--pictures: the render script " + std::string(kInstalledRenderName) + " was not found";
    }
    return {};
}

std::string picture_choice(const std::string& list) {
    std::vector<std::string> names;
    if (list == "all") names.assign(std::begin(kPictureNames), std::end(kPictureNames));
    for (size_t start = 0; list != "all" && start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        std::string name = list.substr(start, comma - start);
        start = comma + 1;
        if (std::none_of(std::begin(kPictureNames), std::end(kPictureNames), [&](const char* n) { return name == n; })) {
            throw DiskError{"--pictures: unknown picture '" + name +
                            "' (known: layout, trans, allsect, sec_layout, sec_data, sec_trans, all)"};
        }
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    std::string choice;
    for (const std::string& name : names) choice += choice.empty() ? name : "," + name;
    return choice;
}

std::string write_timing_pictures(const DiskSummary& disk, const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return "cannot create " + dir + ": " + ec.message();
    for (const TrackSummary& t : disk.tracks) {
        if (!t.timing) continue;
        // Named by the track side, whatever the file was called: trackNN.S as the reports.
        const std::string stem = track_side_stem(t.track, t.side);
        char caption[32];
        std::snprintf(caption, sizeof caption, "Track %02d side %d", t.track, t.side);
        const std::pair<const char*, std::string> pictures[] = {
            {".scatter.svg", timing_scatter_svg(*t.timing, caption, SvgStyle::kEmbedded)},
            {".histogram.svg", timing_histogram_svg(*t.timing, caption, SvgStyle::kEmbedded)}};
        for (const auto& picture : pictures) {
            const std::string path = path_in(dir, stem + picture.first);
            const std::string& text = picture.second;
            const std::string error = write_file(path, Replace::kWhole,
                                                 [&](FILE* f) { std::fwrite(text.data(), 1, text.size(), f); });
            if (!error.empty()) return "cannot write " + path + ": " + error;
        }
    }
    return {};
}

bool draw_disk_pictures(const DiskSummary& disk, const DiskOptions& opts, const std::string& choice, FILE* err,
                        ProgressStyle progress) {
    PictureSettings settings;
    settings.outdir = opts.outdir;
    settings.jobs = opts.jobs;
    settings.err = err;
    settings.choice = choice;
    // Drawing takes far longer than analysing: a person waiting, or reading a log
    // afterwards, wants to see it move.
    if (progress == ProgressStyle::kTerminal) settings.progress = progress_line(err, "pictures");
    if (progress == ProgressStyle::kLog) settings.progress = progress_log(err, "pictures");
    bool drawn = false;
    try {
        drawn = make_pictures(disk, settings) == 0;
    } catch (const DiskError& e) {
        std::fprintf(err, "quendisk: %s\n", shown_name(e.message).c_str());
    }
    if (progress == ProgressStyle::kTerminal) end_progress_line(err);
    return drawn;
}

int make_pictures(const DiskSummary& disk, const PictureSettings& settings) {
    const std::string script = settings.render_script.empty() ? find_render_script() : settings.render_script;
    if (script.empty()) {
        throw DiskError{"the render script (" + std::string(kInstalledRenderName) + ") was not found"};
    }
    std::vector<const TrackSummary*> tracks;
    for (const TrackSummary& t : disk.tracks) {
        if (t.analysed()) tracks.push_back(&t);
    }
    std::vector<std::string> problems(tracks.size());
    for_each_on_workers(
        tracks.size(), settings.jobs, settings.progress,
        [&](size_t i) -> const std::string& { return tracks[i]->file_name; },
        [&](size_t i) { problems[i] = track_pictures(*tracks[i], settings, script); });

    // Reported in track order whatever the number of jobs.
    int failed = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (problems[i].empty()) continue;
        ++failed;
        print_lines(settings.err, "quendisk: " + tracks[i]->file_name + ": ", problems[i]);
    }
    return failed;
}

}  // namespace quen::disk
