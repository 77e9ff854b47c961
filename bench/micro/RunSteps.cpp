// The steps of one pattern-mode run, each on databases of one year (730 records),
// 10,000 and 100,000 records of four adapters. "per_record" is the time of one step
// divided by the number of records.

#include "SampleDatabase.h"

#include "database/Merge.h"
#include "database/TrafficDatabase.h"
#include "pattern/PatternPrinter.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

constexpr const char* pattern = "%Dau up, %Dad down today, %Mat this month";

const CalendarTime nowFields = platform::readClock().local;
const FileTime now = toFileTime(nowFields).value_or(0);

void perRecord(benchmark::State& state)
{
    state.counters["per_record"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                      benchmark::Counter::kIsIterationInvariantRate
                                                          | benchmark::Counter::kInvert);
}

// A folder of its own for the files of one benchmark, removed afterwards.
struct ScratchFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path()
                                 / ("brimlet-micro-" + std::to_string(getpid()));
    ScratchFolder() { std::filesystem::create_directories(path); }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
};

void load(benchmark::State& state)
{
    ScratchFolder folder;
    TrafficDatabase written = sampleDatabase(static_cast<std::size_t>(state.range(0)), now);
    written.save(folder.path / "traffic");
    for (auto _ : state) {
        TrafficDatabase database;
        database.load(folder.path / "traffic", now);
        benchmark::DoNotOptimize(database.records.data());
    }
    perRecord(state);
}

// Finding the records in a copy of the file's bytes, as a load does after reading it.
void indexRecords(benchmark::State& state)
{
    const std::string content = sampleDatabase(static_cast<std::size_t>(state.range(0)), now).fileContent;
    for (auto _ : state) {
        TrafficDatabase database;
        database.fileContent = content;
        database.indexRecords(now - retentionSpan);
        benchmark::DoNotOptimize(database.records.data());
    }
    perRecord(state);
}

// The merge of one reading of four adapters into the day's record, as every run
// after the day's first does.
void merge(benchmark::State& state)
{
    TrafficDatabase database = sampleDatabase(static_cast<std::size_t>(state.range(0)), now);
    const TrafficRecord opening = openingRecord(now - fileTimeDay / 8, now);
    const DiagnosticLog noLog;
    MergeSession session;
    std::uint64_t counter = 1000;
    for (auto _ : state) {
        mergeOpening(database, opening);
        for (std::size_t i = 0; i < 4; ++i) {
            const AdapterReading reading{"eth", static_cast<std::uint32_t>(i), CounterWidth::bits64, counter, 2 * counter};
            mergeAdapter(database, session, i, reading, noLog);
        }
        counter += 1500;
    }
    benchmark::DoNotOptimize(database.records.back());
    perRecord(state);
}

void patternPrinting(benchmark::State& state)
{
    const TrafficDatabase database = sampleDatabase(static_cast<std::size_t>(state.range(0)), now);
    TextBuffer out;
    for (auto _ : state) {
        out.text.clear();
        printPattern(database, pattern, nowFields, out);
    }
    benchmark::DoNotOptimize(out.text);
    perRecord(state);
}

// The save that replaces the file: writing a new file, fsync, rename, fsync of the folder.
void save(benchmark::State& state)
{
    ScratchFolder folder;
    TrafficDatabase database = sampleDatabase(static_cast<std::size_t>(state.range(0)), now);
    for (auto _ : state)
        database.save(folder.path / "traffic");
    perRecord(state);
}

// The save of a run that only adds to the last record's counts: one write over the
// changed bytes, one data sync. The load and the change are not timed.
void saveInPlace(benchmark::State& state)
{
    ScratchFolder folder;
    sampleDatabase(static_cast<std::size_t>(state.range(0)), now).save(folder.path / "traffic");
    std::int64_t received = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TrafficDatabase database;
        database.load(folder.path / "traffic", now);
        database.setCounts(0, {database.counts(database.records.back(), 0).sent, ++received});
        state.ResumeTiming();
        database.save(folder.path / "traffic");
    }
    perRecord(state);
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(730)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond); }

BENCHMARK(load)->Apply(sizes);
BENCHMARK(indexRecords)->Apply(sizes);
BENCHMARK(merge)->Apply(sizes);
BENCHMARK(patternPrinting)->Apply(sizes);
BENCHMARK(save)->Apply(sizes);
BENCHMARK(saveInPlace)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
