// Measures dravlet-ui's performance figures beside a baseline in the same
// run, judges each against its goals, and writes the table to standard
// output and to build/mingw/bench-results.md. A full run exits with 1 when
// a goal is missed (noise is a reason to run it again, not to hide a miss);
// the short mode, which CTest runs, judges no timing and fails only when
// the benchmark cannot run.
#include "bench.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>

static std::vector<Row> rows;
static bool judged = true;
static std::vector<std::string> failures;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fmt(const char* format, double value)
{
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

double longest(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void pump(DWORD ms)
{
    settle([] { return false; }, ms);
}

static bool holds(const Goal& goal)
{
    std::string op = goal.op;
    return op == "<" ? goal.value < goal.bound : op == "<=" ? goal.value <= goal.bound : goal.value >= goal.bound;
}

static std::string goalsText(const Row& row)
{
    std::string text;
    for (const Goal& goal : row.goals)
        text += (text.empty() ? "" : ", ") + goal.what + " " + goal.op + fmt(" %g", goal.bound);
    return text.empty() ? "-" : text;
}

static std::string verdict(const Row& row)
{
    if (row.goals.empty())
        return "-";
    if (!judged)
        return "not judged";
    std::string missed;
    for (const Goal& goal : row.goals)
        if (!holds(goal))
            missed += (missed.empty() ? "" : ", ") + goal.what + fmt(" %.3g", goal.value);
    return missed.empty() ? "met" : "MISSED: " + missed;
}

void report(const Row& row)
{
    rows.push_back(row);
    printf("%s: %s (baseline %s; %s) -> %s\n", row.figure.c_str(), row.measured.c_str(), row.baseline.c_str(),
           row.ratio.c_str(), verdict(row).c_str());
    fflush(stdout);
}

void cannotRun(const std::string& why)
{
    failures.push_back(why);
    printf("cannot measure: %s\n", why.c_str());
}

static int writeTable()
{
    std::string table = "| figure | measured | baseline in the same run | ratio | goal | verdict |\n"
                        "|---|---|---|---|---|---|\n";
    int missed = 0;
    for (const Row& row : rows) {
        table += "| " + row.figure + " | " + row.measured + " | " + row.baseline + " | " + row.ratio + " | " +
                 goalsText(row) + " | " + verdict(row) + " |\n";
        missed += verdict(row).rfind("MISSED", 0) == 0;
    }
    std::wstring out = testDirectory() + L"..\\bench-results.md";
    if (FILE* file = _wfopen(out.c_str(), L"w")) {
        fputs(table.c_str(), file);
        fclose(file);
    }
    printf("\n%s\n%d figures, %d goals missed; the table is in %ls\n", table.c_str(), static_cast<int>(rows.size()),
           missed, out.c_str());
    return missed;
}

int wmain(int argc, wchar_t** argv)
{
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--short") {
            quick = true;
        } else {
            printf("usage: scripts/bench.sh [--short]\n"
                   "  Measures the log under a flood, the reader core, start-up and size beside their baselines,\n"
                   "  writes the table to standard output and build/mingw/bench-results.md, and exits 1 when a\n"
                   "  goal is missed (about ten minutes under Wine).\n"
                   "  --short  small sizes, to show that every part still runs; judges no timing and fails only\n"
                   "           when the benchmark cannot run.\n");
            return arg == L"--help" || arg == L"-h" ? 0 : 2;
        }
    }
    judged = !quick;
    Sizes sizes = quick ? Sizes{true, 5000, 60, 2000, 10000, 20000, 3, 256 << 10, 4u << 20}
                        : Sizes{false, 100000, 500, 10000, 1000000, 1000000, 15, 10 << 20, 100u << 20};
    printf("dravlet-ui benchmark (%s)\n\n", quick ? "short mode: sizes too small to mean anything" : "full");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    mainWindow();
    pump(200);
    benchLogFlood(sizes);
    benchReaderCore(sizes);
    benchStartUpAndSize(sizes);
    int missed = writeTable();
    for (const std::string& why : failures)
        printf("FAILED: %s\n", why.c_str());
    return !failures.empty() || (judged && missed > 0) ? 1 : 0;
}
