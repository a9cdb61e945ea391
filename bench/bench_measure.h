#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// Timing and reporting shared by the benchmarks. Each figure is printed as
// one tab-separated line that bench/run_all.sh gathers into its table:
//   RESULT <measure> <value> <baseline value> <unit> <ratio> <what the baseline is>

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The median time of `runs` calls of f, in milliseconds.
template <typename F> double medianMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        times.push_back(msSince(start));
    }
    return median(times);
}

// A count as the table shows it, thousands apart: "100,000".
inline std::string grouped(long long n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > (n < 0 ? 1 : 0); at -= 3)
        digits.insert(std::size_t(at), 1, ',');
    return digits;
}

// The process's peak resident memory so far.
inline long peakKiB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Resident memory now, from /proc.
inline double residentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

inline void result(const std::string& measure, double value, const char* unit, double baseline,
                   const char* baselineWhat) {
    char ratio[32] = "n/a"; // a baseline of nothing has no ratio
    if (baseline != 0)
        std::snprintf(ratio, sizeof ratio, "%.3g", value / baseline);
    std::printf("RESULT\t%s\t%.6g\t%.6g\t%s\t%s\t%s\n", measure.c_str(), value, baseline, unit,
                ratio, baselineWhat);
    std::fflush(stdout);
}
