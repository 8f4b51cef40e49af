// Reading every record of a large setup script the way the setup program
// does (one key lookup per record), and building such a script in memory.
// Reading 10 000 records should take well under a second.
#include "ScriptText.h"
#include "TListaDado.h"
#include "TScript.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

ScriptText Build(int records)
{
    ScriptText script;
    script.Append(kKeyDirOrig, "C:\\My Source\\");
    script.Append(kKeyDirDest, "C:\\Program Files\\My App\\");
    for (int i = 0; i < records; ++i) {
        ScriptRecord record;
        record.arq = "C:\\My Source\\data\\file" + std::to_string(i) + ".dat";
        record.nome = "_";
        record.TamOrig = static_cast<uint32_t>(1000 + i);
        record.TamComp = static_cast<uint32_t>(500 + i);
        record.Ful = true;
        script.Append(ScriptText::RecordKey(i), ScriptText::FormatRecord(record));
    }
    return script;
}

void ReadAllRecords(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    char folder[] = "/tmp/kelvo-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string path = std::string(folder) + "/kelvo.se";
    const std::vector<uint8_t> bytes = Build(records).Bytes();
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }

    for (auto _ : state) {
        TScript script(path.c_str());
        TListaDado lista;
        script.LerRegistros(&lista);
        const int count = lista.NDados();
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * records);
    std::remove(path.c_str());
    rmdir(folder);
}
BENCHMARK(ReadAllRecords)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BuildScript(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(Build(records).Bytes());
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BuildScript)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
