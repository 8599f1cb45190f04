// Figures for the message store on real files: the run list build and the count over many
// messages in 100 category files, the message rewrites of one large category, and the options
// save. Each size is printed so that the growth can be seen; nothing here fails on time.
#include "app/flash/run_list.h"
#include "app/store/category_file.h"
#include "app/store/options_file.h"
#include "app/store/text_file.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace kestrane;

namespace {

// A scratch application folder under the system's temporary folder, removed afterwards.
class AppFolder {
  public:
    AppFolder() {
        path_ = fs::temp_directory_path() /
                ("kestrane-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(path_ / "Data");
        fs::create_directories(path_ / "Images");
    }
    ~AppFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string MessageLine(int i, bool included) {
    return "Message number " + std::to_string(i) + " of the benchmark" + (included ? ";1" : ";0");
}

// Spreads `messages` included messages over `files` category files; every tenth line is an
// excluded message on top, as a real category has some.
CategoryList FillCategories(const fs::path& app, int messages, int files) {
    CategoryList selection;
    int next = 0;
    for (int f = 0; f < files; ++f) {
        const std::string name = "Category" + std::to_string(f);
        const int count = messages / files + (f < messages % files ? 1 : 0);
        std::string text;
        for (int i = 0; i < count; ++i, ++next) {
            text += MessageLine(next, true) + "\r\n";
            if (i % 10 == 0) {
                text += MessageLine(next, false) + "\r\n";
            }
        }
        ReplaceFile(app / "Data" / (name + ".txt"), text);
        selection.push_back({name, true});
    }
    return selection;
}

void BM_BuildRunList(benchmark::State& state) {
    AppFolder app;
    const CategoryList selection =
        FillCategories(app.path(), static_cast<int>(state.range(0)), 100);
    // One list for all builds, as the program keeps one for its whole life.
    RunList list;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildRunList(app.path(), selection, list));
    }
    state.counters["messages"] = static_cast<double>(state.range(0));
}

void BM_CountIncludedMessages(benchmark::State& state) {
    AppFolder app;
    const CategoryList selection =
        FillCategories(app.path(), static_cast<int>(state.range(0)), 100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CountIncludedMessages(app.path(), selection));
    }
    state.counters["messages"] = static_cast<double>(state.range(0));
}

void BM_UpdateMessageText(benchmark::State& state) {
    AppFolder app;
    const CategoryList selection = FillCategories(app.path(), static_cast<int>(state.range(0)), 1);
    const std::string name = selection[0].name;
    // Changes one message in the middle and back again, so the file stays the same size.
    const std::string middle =
        "Message number " + std::to_string(state.range(0) / 2) + " of the benchmark";
    bool changed = false;
    for (auto _ : state) {
        if (changed) {
            UpdateMessageText(app.path(), name, "changed", middle, selection);
        } else {
            UpdateMessageText(app.path(), name, middle, "changed", selection);
        }
        changed = !changed;
    }
    state.counters["messages"] = static_cast<double>(state.range(0));
}

void BM_DeleteMessageText(benchmark::State& state) {
    AppFolder app;
    const CategoryList selection = FillCategories(app.path(), static_cast<int>(state.range(0)), 1);
    const std::string name = selection[0].name;
    const fs::path file = app.path() / "Data" / (name + ".txt");
    const std::string original = ReadFileBytes(file);
    const std::string middle =
        "Message number " + std::to_string(state.range(0) / 2) + " of the benchmark";
    for (auto _ : state) {
        DeleteMessageText(app.path(), name, middle, selection);
        state.PauseTiming();
        ReplaceFile(file, original);
        state.ResumeTiming();
    }
    state.counters["messages"] = static_cast<double>(state.range(0));
}

// Adds one message to a category of the given size; the file is put back between rounds, so
// every round appends to the same size. Appending replaces the file as a whole (old bytes and
// new line into a new file, flushed, renamed over), so the time grows with the file.
void BM_AppendMessage(benchmark::State& state) {
    AppFolder app;
    const CategoryList selection = FillCategories(app.path(), static_cast<int>(state.range(0)), 1);
    const std::string name = selection[0].name;
    const fs::path file = app.path() / "Data" / (name + ".txt");
    const std::string original = ReadFileBytes(file);
    for (auto _ : state) {
        AppendMessage(app.path(), name, "One more message of the benchmark");
        state.PauseTiming();
        ReplaceFile(file, original);
        state.ResumeTiming();
    }
    state.counters["messages"] = static_cast<double>(state.range(0));
}

void BM_SaveOptions(benchmark::State& state) {
    AppFolder app;
    CreateTextFile(app.path() / "Images" / "SelectedOptions.txt");
    FlashOptions options = FlashOptions::Defaults();
    for (auto _ : state) {
        options.Msgduration = static_cast<std::int16_t>(options.Msgduration % 500 + 1);
        benchmark::DoNotOptimize(SaveOptions(app.path(), options));
    }
}

}  // namespace

BENCHMARK(BM_BuildRunList)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountIncludedMessages)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32766)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateMessageText)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteMessageText)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendMessage)->Arg(1000)->Arg(10000)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOptions)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
