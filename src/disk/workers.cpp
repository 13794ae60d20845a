#include "disk/workers.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quen::disk {
namespace {

// Back to the start of the line and clear it: the terminal's own way to redraw one line.
constexpr const char kRedrawLine[] = "\r\033[K";

}  // namespace

void for_each_on_workers(size_t n, unsigned jobs, const ProgressFn& progress,
                         const std::function<const std::string&(size_t)>& name_of,
                         const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    std::mutex progress_lock;
    size_t started = 0;
    const auto worker = [&] {
        for (size_t i = next++; i < n; i = next++) {
            if (progress) {
                std::lock_guard<std::mutex> hold(progress_lock);
                progress(++started, n, name_of(i));
            }
            work(i);
        }
    };
    const size_t workers = std::clamp<size_t>(jobs, 1, std::max<size_t>(n, 1));
    std::vector<std::thread> pool;
    for (size_t w = 1; w < workers; ++w) pool.emplace_back(worker);
    worker();
    for (std::thread& th : pool) th.join();
}

ProgressFn progress_line(FILE* err, const char* what) {
    return [err, what](size_t k, size_t n, const std::string& name) {
        std::fprintf(err, "%s%s %zu of %zu: %s", kRedrawLine, what, k, n, name.c_str());
        std::fflush(err);
    };
}

ProgressFn progress_log(FILE* err, const char* what) {
    // The calls come one at a time, so the tenth last told needs no lock of its own.
    // n is never 0 in a call: a call tells of one of the n items.
    auto told = std::make_shared<size_t>(0);
    return [err, what, told](size_t k, size_t n, const std::string&) {
        const size_t tenth = k * 10 / n;
        if (tenth <= *told) return;
        *told = tenth;
        std::fprintf(err, "%s: %zu of %zu started (%zu%%)\n", what, k, n, k * 100 / n);
        std::fflush(err);
    };
}

void end_progress_line(FILE* err) { std::fputs(kRedrawLine, err); }

}  // namespace quen::disk
