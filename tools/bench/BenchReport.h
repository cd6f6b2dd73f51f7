// What the benchmark found: one figure per comparison of a module operation with its platform
// baseline, timed side by side in the same run, with the phases that make up the module's
// time. Printed as a table and written as JSON.
#pragma once

#include <string>
#include <deque>
#include <utility>
#include <vector>

#include "tools/bench/Samples.h"

struct Figure {
    std::string name;     // short and unique, e.g. "CleanTemporaryFiles/1000 vs bare loop"
    std::string module;   // what the module's side does
    std::string baseline; // what it is measured against
    Samples moduleUs;     // one sample per repetition
    Samples baselineUs;   // taken in the same repetition as the module sample of that index
    // Module time over baseline time, per repetition.
    Samples Ratios() const;
    // Timed parts of the module's side (or of the work around it), in microseconds.
    std::vector<std::pair<std::string, Samples>> phases;
    std::string note;

    Samples& Phase(const std::string& phaseName);
};

// A value that is not a timing (a size, a count), reported as is.
struct Fact {
    std::string name;
    double value;
    std::string unit;
};

struct BenchReport {
    std::deque<Figure> figures; // a deque: Add keeps earlier figures in place
    std::vector<Fact> facts;
    bool quick = false;
    std::vector<std::string> problems; // anything that did not run as planned

    Figure& Add(const std::string& name, const std::string& module, const std::string& baseline);
};

void PrintReport(const BenchReport& report);
bool WriteReportJson(const BenchReport& report, const std::wstring& path);
