// Phonebook benchmarks: load + index, access-type copies, narrowing and sorting, at 10k to 1M records.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "PhonebookGenerator.h"
#include "common/CSVFile.h"
#include "common/LogFile.h"
#include "phonebook/PhoneBook.h"
#include "runtime/Environment.h"
#include "runtime/Process.h"

using namespace zavro;

namespace {

struct Fixture {
  size_t records = 0;
  std::string dir;
  bench::GeneratedPhonebook info;
  std::shared_ptr<PhoneBook> master;
  std::shared_ptr<PhoneBook> all;      // copyAccessType of every bit
  std::shared_ptr<PhoneBook> country;  // the biggest country
  std::shared_ptr<PhoneBook> region;
};

Fixture gFixture;

// Generates (once per size and machine, kept under $TMPDIR) and loads the phonebook of `records`.
Fixture& use(size_t records) {
  if (gFixture.records == records) {
    return gFixture;
  }
  gFixture = Fixture();
  const char* tmp = std::getenv("TMPDIR");
  gFixture.records = records;
  gFixture.dir = std::string(tmp ? tmp : "/tmp") + "/zavro-bench-pb-" + std::to_string(records);
  gFixture.info = bench::generatePhonebook(gFixture.dir, records);
  Environment::install(Environment::fromProcess().setConfigDir(gFixture.dir));
  gFixture.master = PhoneBook::create();
  gFixture.master->load({});
  gFixture.all = gFixture.master->copyAccessType(kAccessAll);
  gFixture.country = gFixture.all->copy();
  gFixture.country->filterByCountryCode(gFixture.info.biggestCountry);
  gFixture.region = gFixture.country->copy();
  gFixture.region->filterByRegionCode(gFixture.info.biggestRegion);
  return gFixture;
}

size_t heapInUse() {
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

void setThroughput(benchmark::State& state, const Fixture& f) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.info.records));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.info.bytes));
}

void BM_LoadIndex(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  std::shared_ptr<PhoneBook> book;
  size_t extra = 0;
  for (auto _ : state) {
    state.PauseTiming();
    book.reset();
    const size_t before = heapInUse();
    state.ResumeTiming();
    book = PhoneBook::create();
    book->load({});
    benchmark::DoNotOptimize(book->count());
    state.PauseTiming();
    extra = heapInUse() - before;
    state.ResumeTiming();
  }
  setThroughput(state, f);
  state.counters["pops"] = static_cast<double>(book->count());
  state.counters["file_MB"] = static_cast<double>(f.info.bytes) / 1e6;
  state.counters["extra_MB"] = static_cast<double>(extra) / 1e6;
  state.counters["extra_per_file_byte"] = static_cast<double>(extra) / static_cast<double>(f.info.bytes);
}

// The reading and line splitting alone, to see what the index build adds.
void BM_ReadAndSplitLines(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  for (auto _ : state) {
    CSVFile file;
    file.loadWithPath(f.dir + "/pbook.txt");
    file.loadWithPath(f.dir + "/cbook.txt");
    benchmark::DoNotOptimize(file.count());
  }
  setThroughput(state, f);
}

// `wc -l` over the same files: the floor for anything that reads every byte.
void BM_WcFloor(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  for (auto _ : state) {
    std::string counts;
    int status = Process::runCapturing("wc", {"-l", f.dir + "/pbook.txt", f.dir + "/cbook.txt"}, "", counts);
    benchmark::DoNotOptimize(status);
  }
  setThroughput(state, f);
}

// The first load of a process also reads the country, region and SSID/WEP tables.
void BM_FirstLoadWithTables(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  std::shared_ptr<PhoneBook> book;
  for (auto _ : state) {
    state.PauseTiming();
    book.reset();
    Environment::install(Environment::fromProcess().setConfigDir(f.dir));
    state.ResumeTiming();
    book = PhoneBook::create();
    book->load({});
    benchmark::DoNotOptimize(book->count());
  }
  setThroughput(state, f);
}

void BM_CopyAccessType(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  for (auto _ : state) {
    auto book = f.master->copyAccessType(kAccessModem);
    benchmark::DoNotOptimize(book->count());
  }
  setThroughput(state, f);
}

void BM_NarrowCountry(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  unsigned n = 0;
  for (auto _ : state) {
    auto book = f.all->copy();
    book->filterByCountryCode(f.info.biggestCountry);
    n = book->count();
  }
  setThroughput(state, f);
  state.counters["pops_in"] = static_cast<double>(f.all->count());
  state.counters["pops_out"] = n;
}

void BM_NarrowRegion(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  unsigned n = 0;
  for (auto _ : state) {
    auto book = f.country->copy();
    book->filterByRegionCode(f.info.biggestRegion);
    n = book->count();
  }
  setThroughput(state, f);
  state.counters["pops_in"] = f.country->count();
  state.counters["pops_out"] = n;
}

void BM_NarrowCity(benchmark::State& state, size_t records) {
  Fixture& f = use(records);
  unsigned n = 0;
  for (auto _ : state) {
    auto book = f.region->copy();
    book->filterByCity(f.info.biggestCity);
    n = book->count();
  }
  setThroughput(state, f);
  state.counters["pops_in"] = f.region->count();
  state.counters["pops_out"] = n;
}

void BM_SortCountry(benchmark::State& state, size_t records, int field) {
  Fixture& f = use(records);
  for (auto _ : state) {
    auto book = f.country->copy();
    book->sortByField(field, 1);
    benchmark::DoNotOptimize(book->count());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.country->count()));
  state.counters["pops"] = f.country->count();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (size_t records : {size_t{10000}, size_t{100000}, size_t{1000000}}) {
    const std::string n =
        records >= 1000000 ? std::to_string(records / 1000000) + "M" : std::to_string(records / 1000) + "k";
    auto reg = [&](const std::string& name, auto fn) {
      return benchmark::RegisterBenchmark((name + "/" + n).c_str(), fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    reg("LoadIndex", [records](benchmark::State& s) { BM_LoadIndex(s, records); });
    reg("ReadAndSplitLines", [records](benchmark::State& s) { BM_ReadAndSplitLines(s, records); });
    reg("WcFloor", [records](benchmark::State& s) { BM_WcFloor(s, records); });
    reg("CopyAccessType", [records](benchmark::State& s) { BM_CopyAccessType(s, records); });
    reg("NarrowCountry", [records](benchmark::State& s) { BM_NarrowCountry(s, records); });
    reg("NarrowRegion", [records](benchmark::State& s) { BM_NarrowRegion(s, records); });
    reg("NarrowCity", [records](benchmark::State& s) { BM_NarrowCity(s, records); });
    for (auto [column, field] : std::initializer_list<std::pair<const char*, int>>{
             {"default", -1}, {"city", 2}, {"phone", 4}, {"speed", 15}, {"rate", 14}, {"location", 31}}) {
      reg(std::string("SortCountry_") + column,
          [records, field = field](benchmark::State& s) { BM_SortCountry(s, records, field); });
    }
    // Last for this size: it replaces the installed environment's tables.
    reg("FirstLoadWithTables", [records](benchmark::State& s) { BM_FirstLoadWithTables(s, records); });
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
