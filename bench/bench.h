// The benchmark's shared parts: the clock, statistics, and the table of
// figures, each beside a baseline measured in the same run and judged
// against goals that are numbers.
#pragma once
#include "harness.h"

#include <chrono>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
std::string fmt(const char* format, double value);
double median(std::vector<double> values);
double percentile(std::vector<double> values, double share);
double longest(const std::vector<double>& values);

// Serves this thread's messages for ms.
void pump(DWORD ms);

// A goal: what is judged, its value, and the bound it must keep: "<", "<="
// or ">=". A row meets its goals when every one holds.
struct Goal {
    std::string what;
    double value;
    const char* op;
    double bound;
};

struct Row {
    std::string figure, measured, baseline, ratio;
    std::vector<Goal> goals; // none: a figure given for reading only
};

// The sizes of a run. The short mode shows that every part still runs; its
// sizes are too small to mean anything, so its goals are not judged.
struct Sizes {
    bool quick;
    int runLines, naiveLines, appendLines, trimLines, floodLines, starts, endlessBytes;
    size_t coreBytes;
};

// Prints the row at once and keeps it for the table.
void report(const Row& row);
// Something kept the benchmark from measuring: the run fails whatever the mode.
void cannotRun(const std::string& why);

// The parts, each adding its rows.
void benchLogFlood(const Sizes& sizes);   // log_flood.cpp: the log under a flood
void benchReaderCore(const Sizes& sizes); // reader_core.cpp: decoding and counting output
void benchStartUpAndSize(const Sizes& sizes); // startup_size.cpp
