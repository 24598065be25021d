// Console reporter of the benchmarks that compare our code with OpenSSL: the
// usual table (colour only on a terminal), plus the mean bytes/second of each
// benchmark over its repetitions, from which main() prints the ratios.
#ifndef QEL_BENCH_RATIO_REPORTER_H
#define QEL_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            Rate& rate = m_rates[run.run_name.function_name];
            rate.sum += it->second.value;
            rate.count += 1;
        }
    }

    // Mean bytes/second of a benchmark (its function name), 0 when it did not run.
    double Mean(const std::string& name) const
    {
        auto it = m_rates.find(name);
        return it == m_rates.end() || it->second.count == 0 ? 0.0 : it->second.sum / it->second.count;
    }

private:
    struct Rate {
        double sum = 0;
        int count = 0;
    };
    std::map<std::string, Rate> m_rates;
};

#endif
