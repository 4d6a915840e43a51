// Importing a settings file: every preset looks up its drawing, so the walk must stay linear
// in the size of the file (a 64 KiB file holds about 600 presets). Compare the per-character
// time at the two sizes.
#include <benchmark/benchmark.h>

#include <string>

#include "settings/settings_file.h"

namespace quovis {
namespace {

struct CountingHost final : SettingsImportHost {
    int added = 0;
    ImportOutcome AddImported(PresetRecord&, std::u16string_view, bool) override {
        ++added;
        return ImportOutcome::Added;
    }
};

std::u16string ManyDrawingPresets(int presets) {
    std::u16string text = u"[Quovis Settings]\r\n";
    std::u16string draws = u"[Draw]\r\n";
    for (int i = 0; i < presets; ++i) {
        std::u16string name = u"P";
        for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
        text +=
            name + u",1,26,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0\r\n";
        draws += name + u",1,5,5,\r\n";
    }
    return text + draws;
}

void BM_ImportSettingsText(benchmark::State& state) {
    const std::u16string text = ManyDrawingPresets(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CountingHost host;
        ImportSettingsText(text, true, host);
        benchmark::DoNotOptimize(host.added);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ImportSettingsText)->Arg(600)->Arg(19200)->Complexity(benchmark::oN);

}  // namespace
}  // namespace quovis
