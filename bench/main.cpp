// qp_bench: Google Benchmark's usual command line, plus
//   --ratio-table FILE   after the run, print the ratio table and write it,
//                        with the machine's description, to FILE (markdown).
// The table, per benchmark measured over sizes (SetComplexityN): time per
// point at every size, the worst time(2n)/time(n) from one size to the next
// and the same over the whole range, and the fitted complexity; then the snap
// against one pass over the points, pattern-file loading against the JSON
// parse alone, symmetry of the 50-piece group pattern against copying that
// pattern twice, and the formula routines at 5 and 10 terms.
#include <benchmark/benchmark.h>

#include "bench/child_process.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Family {
    std::map<long, double> nsPerIteration;  // by n
    std::map<long, double> peakKb;          // qpkit commands only
    std::string bigO;
};

// Keeps every run for the table while the console shows them as usual.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, Family> families;
    std::vector<std::string> order;
    std::map<std::string, double> fixedSize;  // ns per iteration of runs without a size, by full name

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            std::string name = r.run_name.function_name;
            if (families.find(name) == families.end()) order.push_back(name);
            Family& f = families[name];
            if (r.report_big_o) {
                f.bigO = BigO(r.complexity);
                continue;
            }
            if (r.report_rms || r.run_type != Run::RT_Iteration) continue;
            const double ns = r.GetAdjustedRealTime() * Multiplier(r.time_unit);
            if (r.complexity_n == 0) {
                fixedSize[r.benchmark_name()] = ns;
                continue;
            }
            f.nsPerIteration[r.complexity_n] = ns;
            auto peak = r.counters.find("peak_KB");
            if (peak != r.counters.end()) f.peakKb[r.complexity_n] = peak->second.value;
        }
    }

private:
    static std::string BigO(benchmark::BigO o) {
        switch (o) {
            case benchmark::o1: return "O(1)";
            case benchmark::oN: return "O(N)";
            case benchmark::oNSquared: return "O(N^2)";
            case benchmark::oNCubed: return "O(N^3)";
            case benchmark::oLogN: return "O(lgN)";
            case benchmark::oNLogN: return "O(NlgN)";
            default: return "";
        }
    }
    static double Multiplier(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kSecond: return 1e9;
            case benchmark::kMillisecond: return 1e6;
            case benchmark::kMicrosecond: return 1e3;
            default: return 1.0;
        }
    }
};

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string Machine() {
    std::string model = "unknown processor";
    std::ifstream cpu("/proc/cpuinfo");
    for (std::string line; std::getline(cpu, line);)
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    utsname u{};
    uname(&u);
    char when[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores online; " + u.sysname + " " +
           u.release + "; compiler " + __VERSION__ + "; " + when;
}

std::string Table(const Collector& c) {
    std::ostringstream out;
    std::vector<long> sizes;
    for (const auto& name : c.order)
        for (const auto& kv : c.families.at(name).nsPerIteration)
            if (std::find(sizes.begin(), sizes.end(), kv.first) == sizes.end()) sizes.push_back(kv.first);
    std::sort(sizes.begin(), sizes.end());
    out << "| benchmark |";
    for (long n : sizes) out << " ns/pt " << n << " |";
    out << " worst t(2n)/t(n) | t(2n)/t(n) overall | fit | peak KB per point added (peak) |\n|---|";
    for (size_t k = 0; k < sizes.size(); ++k) out << "---:|";
    out << "---:|---:|---|---:|\n";
    for (const auto& name : c.order) {
        const Family& f = c.families.at(name);
        if (f.nsPerIteration.size() < 2) continue;
        out << "| " << name << " |";
        for (long n : sizes) {
            auto it = f.nsPerIteration.find(n);
            out << " " << (it == f.nsPerIteration.end() ? std::string("") : Fixed(it->second / n, 2)) << " |";
        }
        double worst = 0;
        for (auto it = f.nsPerIteration.begin(); std::next(it) != f.nsPerIteration.end(); ++it) {
            auto next = std::next(it);
            // Sizes double from one to the next; a bigger step is scaled to one doubling.
            const double steps = std::log2(static_cast<double>(next->first) / it->first);
            worst = std::max(worst, std::pow(next->second / it->second, 1.0 / steps));
        }
        // The growth per doubling from the smallest size to the largest: one
        // step that a busy machine spoils shows in the worst, not here.
        const auto& first = *f.nsPerIteration.begin();
        const auto& last = *f.nsPerIteration.rbegin();
        const double overall =
            std::pow(last.second / first.second, 1.0 / std::log2(static_cast<double>(last.first) / first.first));
        out << " " << Fixed(worst, 2) << " | " << Fixed(overall, 2) << " | " << f.bigO << " |";
        if (f.peakKb.size() >= 2) {
            // Above start-up: the growth from the smallest to the largest
            // size, per point added.
            const auto& low = *f.peakKb.begin();
            const auto& top = *f.peakKb.rbegin();
            out << " " << Fixed((top.second - low.second) / static_cast<double>(top.first - low.first), 2) << " ("
                << Fixed(top.second / 1024, 1) << " MB at " << top.first << ") |";
        } else {
            out << " |";
        }
        out << "\n";
    }
    auto ratioAt = [&](const char* a, const char* b, const char* what) {
        auto fa = c.families.find(a), fb = c.families.find(b);
        if (fa == c.families.end() || fb == c.families.end()) return;
        out << "\n" << what << ":";
        for (const auto& kv : fa->second.nsPerIteration) {
            auto other = fb->second.nsPerIteration.find(kv.first);
            if (other != fb->second.nsPerIteration.end())
                out << " " << kv.first << " pts " << Fixed(kv.second / other->second, 2) << ";";
        }
        out << "\n";
    };
    ratioAt("SnapOneMouseMove", "OnePassOverPoints", "Snap / one pass over the points");
    ratioAt("FileLoad", "FileJsonParseOnly", "Pattern file load / its JSON parse alone");
    ratioAt("FileWrite", "FileJsonParseOnly", "Pattern file write / its JSON parse alone");
    ratioAt("FileLoadShorthand", "FileJsonParseShorthand", "Shorthand pattern file load / its JSON parse alone");
    ratioAt("SymmetryGroupEdit", "GroupPatternCopyTwice",
            "Symmetry of the 50-piece group pattern / copying it twice");
    // The formula routines run on texts, not pieces: their cost against the
    // number of terms.
    auto five = c.fixedSize.find("FormulaRoutines/5"), ten = c.fixedSize.find("FormulaRoutines/10");
    if (five != c.fixedSize.end() && ten != c.fixedSize.end())
        out << "\nFormula routines on one text (spread brackets, pack, scale, evaluate): 5 terms "
            << Fixed(five->second, 0) << " ns; 10 terms " << Fixed(ten->second, 0) << " ns; time(10)/time(5) "
            << Fixed(ten->second / five->second, 2) << "\n";
    // Every tool's editing message (the families named ...Edit) at its largest size.
    out << "\n";
    for (const auto& family : c.families) {
        const std::string& name = family.first;
        if (name.find("Edit") == std::string::npos || family.second.nsPerIteration.empty()) continue;
        out << name << " editing message at " << family.second.nsPerIteration.rbegin()->first << " points: "
            << Fixed(family.second.nsPerIteration.rbegin()->second / 1e6, 2) << " ms (four frames: 67 ms)\n";
    }
    auto snap = c.families.find("SnapOneMouseMove");
    if (snap != c.families.end() && !snap->second.nsPerIteration.empty())
        out << "Snap at " << snap->second.nsPerIteration.rbegin()->first << " points: "
            << Fixed(snap->second.nsPerIteration.rbegin()->second / 1e6, 3) << " ms (one frame: 16.7 ms)\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    bench::startChildRunner();  // before any piece is built: see child_process.h
    std::string tableFile;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ratio-table") == 0 && i + 1 < argc) {
            tableFile = argv[++i];
            continue;
        }
        args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    if (!tableFile.empty()) {
        const std::string table = Table(collector);
        std::cout << "\n" << table;
        std::ofstream out(tableFile);
        out << "# Benchmark ratios\n\nWritten by `make bench` (bench/main.cpp): a Release build, every benchmark run "
               "once. Time per point (ns) at every size, the worst time(2n)/time(n) from one size to the next (a "
               "linear cost stays near 2), the same over the whole range (time(largest)/time(smallest) per "
               "doubling), Google Benchmark's fitted complexity, and for the qpkit commands the growth "
               "of peak memory per point added from the smallest size to the largest (start-up excluded).\n\nMachine: "
            << Machine() << "\n\n"
            << table;
    }
    return 0;
}
