// Work spread over threads, one track side at a time, with a progress line for a person
// watching: the analysis and the pictures both go through it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "disk/summary.h"

namespace quen::disk {

// Calls work(i) once for every i below n on up to `jobs` threads, each taking the next
// item as it gets free. progress, when set, hears of each start one call at a time, with
// name_of(i). Every work(i) must touch only its own item, so that the outcome is the
// same for any number of jobs.
void for_each_on_workers(size_t n, unsigned jobs, const ProgressFn& progress,
                         const std::function<const std::string&(size_t)>& name_of,
                         const std::function<void(size_t)>& work);

// A progress line on err that rewrites itself: "`what` k of n: name".
ProgressFn progress_line(FILE* err, const char* what);
// For a log: "`what`: k of n started (p%)" on a line of its own, each time another
// tenth of the work has started.
ProgressFn progress_log(FILE* err, const char* what);
// Wipes the progress line, so that what follows starts on a clean line.
void end_progress_line(FILE* err);

}  // namespace quen::disk
