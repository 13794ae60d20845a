#include "support/run_helper.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/analysis.h"
#include "driver/option_scan.h"
#include "driver/run.h"
#include "stream/capture_load.h"
#include "support/capture.h"

namespace quen::testing {

std::string make_temp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quen-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

std::string write_temp_file(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = make_temp_dir() + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

namespace {

// Makes `dir` the current directory for its lifetime, then the one before again.
class InDirectory {
public:
    InDirectory(const std::string& dir, RunDir fate) : before_(open(".", O_RDONLY | O_DIRECTORY)) {
        if (before_ < 0) throw std::runtime_error("cannot open the current directory");
        if (chdir(dir.c_str()) != 0) {
            close(before_);
            throw std::runtime_error("cannot enter " + dir);
        }
        if (fate == RunDir::kRemoved) std::filesystem::remove(dir);
    }
    ~InDirectory() {
        if (fchdir(before_) != 0) std::abort();
        close(before_);
    }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    int before_;
};

AnalysisResult analyse_load(CaptureLoad load, const std::string& name, const RunOptions& opts,
                            std::optional<TrackSide> track, Capture& err) {
    Capture out;
    AnalysisResult r;
    r.code = 2;
    if (load.capture) {
        CaptureAnalysis analysis(*load.capture, name, track);
        const AnalysisEnd end = analysis.run(opts, {out.get(), err.get(), err.get()}, r.figures);
        if (end == AnalysisEnd::Completed) r.code = 1;
    } else {
        record_load_failure(r.figures, load);
    }
    r.out = out.text();
    r.err = err.text();
    return r;
}

}  // namespace

RunResult run_analyser(const std::vector<std::string>& args, const std::string& dir, RunDir fate) {
    Capture out;
    Capture err;
    RunIo io;
    io.out = out.get();
    io.err = err.get();
    io.wait_for_key = false;
    RunResult r;
    {
        std::optional<InDirectory> in;
        if (!dir.empty()) in.emplace(dir, fate);
        r.code = run_quenanalyze(args, io);
    }
    r.out = out.text();
    r.err = err.text();
    return r;
}

AnalysisResult analyse_bytes(const std::vector<uint8_t>& capture_bytes, const RunOptions& opts) {
    Capture err;
    CaptureLoad load = load_capture(capture_bytes.data(), capture_bytes.size(), "track.raw", std::nullopt, err.get());
    return analyse_load(std::move(load), "track.raw", opts, std::nullopt, err);
}

AnalysisResult analyse_file(const std::string& path, const std::vector<std::string>& options,
                            std::optional<TrackSide> track) {
    RunOptions opts;
    for (const std::string& o : options) {
        if (scan_option_cluster(o, opts).fault == OptionFault::UnknownLetter) {
            throw std::invalid_argument("no such option: " + o);
        }
    }
    Capture err;
    return analyse_load(load_capture_file(path, track, err.get()), path, opts, track, err);
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args, StdoutTo to) {
    const std::string dir = make_temp_dir();
    const std::string out_path = dir + "/out";
    const std::string err_path = dir + "/err";
    int pipe_fds[2] = {-1, -1};
    if (to == StdoutTo::kClosedPipe) {
        if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
        close(pipe_fds[0]);
    }
    std::vector<std::string> argv_text = {path};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        const int in = open("/dev/null", O_RDONLY);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(err, 2);
        switch (to) {
            case StdoutTo::kCapture: dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1); break;
            case StdoutTo::kFullDisk: dup2(open("/dev/full", O_WRONLY), 1); break;
            case StdoutTo::kClosed: close(1); break;
            case StdoutTo::kClosedPipe: dup2(pipe_fds[1], 1); break;
        }
        // The program starts with SIGPIPE as a shell would give it.
        signal(SIGPIPE, SIG_DFL);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    if (pipe_fds[1] >= 0) close(pipe_fds[1]);
    if (pid < 0) throw std::runtime_error("fork failed");
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    RunResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    std::filesystem::remove_all(dir);
    return r;
}

std::string without_banner(const std::string& report) {
    const size_t nl = report.find('\n');
    return nl == std::string::npos ? std::string() : report.substr(nl + 1);
}

}  // namespace quen::testing
