// Wall-clock timing with the performance counter, and the repeated timings of one contender
// summarised as median, quartiles and extremes.
#pragma once

#include <windows.h>
#include <vector>

// Microseconds on the performance counter; only differences mean anything.
double NowMicroseconds();

// Time since construction or the last Restart.
class Stopwatch {
public:
    Stopwatch() { Restart(); }
    void Restart() { start_ = NowMicroseconds(); }
    double ElapsedMicroseconds() const { return NowMicroseconds() - start_; }

private:
    double start_ = 0;
};

class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    bool Empty() const { return values_.empty(); }
    int Count() const { return static_cast<int>(values_.size()); }
    const std::vector<double>& Values() const { return values_; }

    double Median() const { return Quantile(0.5); }
    double Min() const { return Quantile(0.0); }
    double Max() const { return Quantile(1.0); }
    // Linear interpolation between the two nearest ranks; 0 with no sample.
    double Quantile(double q) const;

private:
    std::vector<double> values_;
};
