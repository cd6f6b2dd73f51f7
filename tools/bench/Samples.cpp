#include "tools/bench/Samples.h"

#include <algorithm>

double NowMicroseconds() {
    static const double ticksPerMicrosecond = [] {
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMicrosecond;
}

double Samples::Quantile(double q) const {
    if (values_.empty()) return 0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    double rank = q * static_cast<double>(sorted.size() - 1);
    size_t below = static_cast<size_t>(rank);
    if (below + 1 >= sorted.size()) return sorted.back();
    double fraction = rank - static_cast<double>(below);
    return sorted[below] + (sorted[below + 1] - sorted[below]) * fraction;
}
