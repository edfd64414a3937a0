// Opening the template, typing the twelve insertions of an agreement and saving the
// working document: the engine's whole share of "Start Creating Template".
#include "benchstats.h"
#include "doc/worddocument.h"

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

double peakResidentMegabytes()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
#endif
}

struct Insertion {
    std::uint32_t base;
    std::u16string text;
};

const std::vector<Insertion> kSample = {
    {141, u" 5th "},
    {148, u" June, 2021"},
    {164, u" Corwin Ashdale Jr."},
    {201, u" Tobias Quenby"},
    {436, u" Birchwood st"},
    {456, u"Build a tree house"},
    {566, u"$74.00"},
    {638, u"One half would be payed before work start, and rest after work is finished."},
    {655, u" 7th "},
    {661, u" December, 2026"},
    {669, u" Tobias Quenby"},
    {687, u" Corwin Ashdale Jr."},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_engine TEMPLATE.doc [rounds]\n");
        return 1;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    const std::string out = (std::filesystem::temp_directory_path() / "bench-engine-working.doc").string();

    using Clock = std::chrono::steady_clock;
    std::vector<double> openUs, typeUs, saveUs, totalUs;
    for (int round = 0; round < rounds; ++round) {
        const auto t0 = Clock::now();
        doc::WordDocument document = doc::WordDocument::parse(bytes);
        const auto t1 = Clock::now();
        std::uint32_t typed = 0;
        for (const Insertion& insertion : kSample)
            typed += document.insertText(insertion.base + typed, insertion.text);
        const auto t2 = Clock::now();
        document.save(out);
        const auto t3 = Clock::now();
        auto us = [](auto a, auto b) { return std::chrono::duration<double, std::micro>(b - a).count(); };
        openUs.push_back(us(t0, t1));
        typeUs.push_back(us(t1, t2));
        saveUs.push_back(us(t2, t3));
        totalUs.push_back(us(t0, t3));
    }
    std::filesystem::remove(out);

    using benchstats::median;
    std::printf("rounds: %d, template: %zu bytes\n", rounds, bytes.size());
    std::printf("median open %.1f us, twelve insertions %.1f us, save %.1f us, total %.1f us\n",
                median(openUs), median(typeUs), median(saveUs), median(totalUs));
    std::printf("peak resident memory: %.1f MB\n", peakResidentMegabytes());
    return 0;
}
