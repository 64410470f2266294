// Figures of a benchmark program: pairs of benchmarks (the project's and an outside anchor's, run in the
// same program against the same input) whose medians are printed side by side with their ratio, one line
// each after the usual output:
//   FIGURE <tab> label <tab> project <tab> anchor <tab> ratio
// Time figures compare the real time of one iteration (ratio project / anchor, lower is better); rate
// figures compare items per second (ratio project / anchor, higher is better). With repetitions the medians
// are used (scripts/bench runs repetitions interleaved at random, so project and anchor alternate).
// Counter figures compare a user counter of the two benchmarks instead (ratio project / anchor).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

namespace benchfig {

struct Figure {
    std::string label;
    std::string project;  // benchmark names as Google Benchmark prints them (with arguments)
    std::string anchor;
    bool rate = false;   // items per second instead of time
    double scale = 1e6;  // time figures: seconds -> printed unit (default microseconds)
    const char* unit = "us";
};

struct CounterFigure {
    std::string label;
    std::string project;
    std::string anchor;
    std::string counter;
    const char* unit;
};

// One benchmark that measured the project and the anchor side by side (alternating rounds, or both at
// once) and reports the counters project, anchor and ratio (the median of the rounds' own ratios, which
// contention on the machine moves least); printed like the figures above.
struct PairFigure {
    std::string label;
    std::string benchmark;
    const char* unit;
    // Other counters of the same benchmark may be compared; without a ratio counter the ratio is theirs.
    const char* projectCounter = "project";
    const char* anchorCounter = "anchor";
    const char* ratioCounter = "ratio";
};

// The time that the larger of two inputs adds over the smaller, for the project and the anchor alike (ratio
// of the two additions).
struct DeltaFigure {
    std::string label;
    std::string project, projectBase;
    std::string anchor, anchorBase;
    double scale = 1e3;
    const char* unit = "ms";
};

class Collector : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal (the library's colour flag applies to its own reporter alone).
    Collector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            if (!median && !single) continue;
            Value v;
            v.seconds = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) v.rate = it->second.value;
            for (const auto& [name, c] : r.counters) v.counters[name] = c.value;
            values_[r.run_name.str()] = v;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Print(const std::vector<Figure>& figures) const {
        for (const Figure& f : figures) {
            auto p = values_.find(f.project), a = values_.find(f.anchor);
            if (p == values_.end() || a == values_.end()) continue;  // filtered out
            const double pv = f.rate ? p->second.rate : p->second.seconds * f.scale;
            const double av = f.rate ? a->second.rate : a->second.seconds * f.scale;
            const char* unit = f.rate ? "/s" : f.unit;
            std::printf("FIGURE\t%s\t%.4g %s\t%.4g %s\t%.3f\n", f.label.c_str(), pv, unit, av, unit,
                        av != 0 ? pv / av : 0.0);
        }
        std::fflush(stdout);
    }

    void Print(const std::vector<CounterFigure>& figures) const {
        for (const CounterFigure& f : figures) {
            auto p = values_.find(f.project), a = values_.find(f.anchor);
            if (p == values_.end() || a == values_.end()) continue;
            auto pc = p->second.counters.find(f.counter), ac = a->second.counters.find(f.counter);
            if (pc == p->second.counters.end() || ac == a->second.counters.end()) continue;
            const double pv = pc->second, av = ac->second;
            std::printf("FIGURE\t%s\t%.4g %s\t%.4g %s\t%.3f\n", f.label.c_str(), pv, f.unit, av, f.unit,
                        av != 0 ? pv / av : 0.0);
        }
        std::fflush(stdout);
    }

    void Print(const std::vector<PairFigure>& figures) const {
        for (const PairFigure& f : figures) {
            auto b = values_.find(f.benchmark);
            if (b == values_.end()) continue;
            const auto& c = b->second.counters;
            auto p = c.find(f.projectCounter), a = c.find(f.anchorCounter);
            if (p == c.end() || a == c.end()) continue;
            auto r = f.ratioCounter ? c.find(f.ratioCounter) : c.end();
            const double ratio = r != c.end() ? r->second : a->second != 0 ? p->second / a->second : 0.0;
            std::printf("FIGURE\t%s\t%.4g %s\t%.4g %s\t%.3f\n", f.label.c_str(), p->second, f.unit, a->second, f.unit,
                        ratio);
        }
        std::fflush(stdout);
    }

    void Print(const std::vector<DeltaFigure>& figures) const {
        for (const DeltaFigure& f : figures) {
            auto p = values_.find(f.project), pb = values_.find(f.projectBase);
            auto a = values_.find(f.anchor), ab = values_.find(f.anchorBase);
            if (p == values_.end() || pb == values_.end() || a == values_.end() || ab == values_.end()) continue;
            const double pv = (p->second.seconds - pb->second.seconds) * f.scale;
            const double av = (a->second.seconds - ab->second.seconds) * f.scale;
            std::printf("FIGURE\t%s\t%.4g %s\t%.4g %s\t%.3f\n", f.label.c_str(), pv, f.unit, av, f.unit,
                        av != 0 ? pv / av : 0.0);
        }
        std::fflush(stdout);
    }

private:
    struct Value {
        double seconds = 0;
        double rate = 0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Value> values_;
};

// The whole main of a benchmark program with figures.
inline int Main(int argc, char** argv, const std::vector<Figure>& figures,
                const std::vector<CounterFigure>& counterFigures = {}, const std::vector<PairFigure>& pairFigures = {},
                const std::vector<DeltaFigure>& deltaFigures = {}) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    collector.Print(figures);
    collector.Print(counterFigures);
    collector.Print(pairFigures);
    collector.Print(deltaFigures);
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchfig
