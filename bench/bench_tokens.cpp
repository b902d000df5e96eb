// Splitting one long code file line into its codes.
//
//   bench_tokens [repetitions]
//
// For lines of 150,000 to 1,200,000 codes, the best of `repetitions` runs
// (default 3) of splitCodeLine, in milliseconds per line and nanoseconds per
// code, with the splitter's work (characters looked at or copied) per
// character of the line. Splitting is linear: doubling the codes doubles the
// time, and the work stays below two per character.
#include "coding/CodeFile.h"
#include "text/Tokens.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("%10s %12s %10s %10s\n", "codes", "ms per line", "ns/code", "work/char");
    for (const int codes : { 150000, 300000, 600000, 1200000 }) {
        QString line = QStringLiteral("big.doc,");
        for (int i = 0; i < codes; ++i)
            line += QStringLiteral(" C%1").arg(i);
        double best = 1e300;
        double work = 0;
        for (int r = 0; r < repetitions; ++r) {
            CodeFileLine words;
            const int64_t before = tokenWork();
            const auto start = std::chrono::steady_clock::now();
            if (!splitCodeLine(line, words) || words.codes.size() != codes) {
                std::fprintf(stderr, "the line of %d codes was split wrongly\n", codes);
                return 1;
            }
            const double ms
                = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            best = std::min(best, ms);
            work = static_cast<double>(tokenWork() - before) / static_cast<double>(line.size());
        }
        std::printf("%10d %12.1f %10.1f %10.2f\n", codes, best, best * 1e6 / codes, work);
    }
    return 0;
}
