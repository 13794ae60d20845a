// One analysis of a capture already in memory: the call both programs make. It prints
// the report from its banner on, records what it found as figures, and records a failure
// where it happens, as a reason rather than words.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/options.h"
#include "decode/separator.h"
#include "driver/figures.h"
#include "stream/capture.h"
#include "stream/scp.h"

namespace quen {

struct AnalysisSinks {
    FILE* report = nullptr;       // the report, from its banner on
    FILE* diagnostics = nullptr;  // the -v lines
    FILE* messages = nullptr;     // the run's standard error: refusals, sectors not read, plot file faults
};

// Records in `figures` why a capture could not be loaded, as the loader found it.
void record_load_failure(RunFigures& figures, const CaptureLoad& load);

// How an analysis ended, as the programs must tell it.
enum class AnalysisEnd : uint8_t {
    Completed,
    Abnormal,     // refused after its message: the run ends with "Abnormal termination code 2"
    WriteFailed,  // a plot file could not be created or written: said, and the run ends with 2 at once
};

// The analyses of one capture. Analyses with the same PLL setting share the data
// separator's results, which do not depend on any other option: quendisk's run without
// the in-field synch search costs only the decoders.
class CaptureAnalysis {
public:
    // `track` names the track side when the capture is one of an SCP image's.
    CaptureAnalysis(const FluxCapture& capture, std::string input_name, std::optional<TrackSide> track = {});

    // Analyses the capture with `opts` (the revolution 1-based, as the user gave it), its
    // output and diagnostic streams taken from `sinks`, within the limits `opts` sets.
    AnalysisEnd run(RunOptions opts, const AnalysisSinks& sinks, RunFigures& figures, uint8_t detail = kDetailSummary);

    // The figures of the analysis that `opts` names with the in-field synch search turned
    // off, for comparing findings: nothing is written. Only the track decoder depends on
    // that search, so after run() with the same settings otherwise only the track is
    // decoded again, and the ID and sector findings are taken over in the order they came;
    // the figures are the same as a whole run's.
    AnalysisEnd run_without_sync(RunOptions opts, const AnalysisSinks& sinks, RunFigures& figures);

    // What run() found beyond the track decoder, kept for run_without_sync().
    struct FieldFindings {
        uint8_t revolution = 0;  // as the user gave it
        bool pll_off = false;
        bool sector_all_areas = false;
        std::vector<IdFigure> ids;
        std::vector<SectorFigure> sectors;
        std::vector<FindingFigure> findings;  // the ID and sector checks' findings, in the order they came
    };

private:
    SeparatorRuns& separator(bool pll_off);

    const FluxCapture& stream_;
    std::string input_name_;
    std::optional<TrackSide> track_;
    std::array<std::unique_ptr<SeparatorRuns>, 2> runs_{};
    std::optional<FieldFindings> fields_;
};

}  // namespace quen
