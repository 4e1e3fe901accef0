// What the safe replace (copy beside the target, flush it to the disk, then
// rename it over the target) costs against deleting the target and copying
// straight over it, on the host substitute, whose flush is fsync.
//   build/host/bench/install_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "standin.h"
#include "install_map.h"

namespace {

struct Game {
    std::string strRoot, strGame, strTarget;

    explicit Game(long cbMap)
    {
        char szTemplate[] = "/tmp/mapinst-bench-XXXXXX";
        strRoot = mkdtemp(szTemplate);
        strGame = strRoot + "/game";
        strTarget = strGame + "/Disk2/Am01.dvp";
        mkdir(strGame.c_str(), 0755);
        std::ofstream(strGame + "/data1.dvp") << "data";
        std::ofstream map(strRoot + "/Am01.dvp", std::ios::binary);
        std::string strChunk(1 << 16, 'm');
        for (long cb = 0; cb < cbMap; cb += static_cast<long>(strChunk.size()))
            map.write(strChunk.data(), std::min<long>(strChunk.size(), cbMap - cb));
        if (chdir(strRoot.c_str()) != 0)
            std::abort();
        standin::Reset();
        standin::SetValue("SOFTWARE\\Morvane\\Duneveil", "Path", strGame + std::string(1, '\0'));
    }
    ~Game()
    {
        std::string strCmd = "rm -rf '" + strRoot + "'";
        if (std::system(strCmd.c_str()) != 0)
            std::abort();
    }
};

void BM_OnInstall(benchmark::State &state)
{
    Game game(state.range(0));
    for (auto _ : state) {
        OnInstall(nullptr);
        if (standin::g_state.vecBoxes.back().uType != (MB_OK | MB_ICONINFORMATION))
            state.SkipWithError("install failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The straight overwrite the safe replace stands in for.
void BM_DeleteThenCopy(benchmark::State &state)
{
    Game game(state.range(0));
    mkdir((game.strGame + "/Disk2").c_str(), 0755);
    for (auto _ : state) {
        plat::DeleteFileA(game.strTarget.c_str());
        if (!plat::CopyFileA("Am01.dvp", game.strTarget.c_str(), TRUE))
            state.SkipWithError("copy failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sizes(benchmark::internal::Benchmark *pBench)
{
    for (long cb : {4L << 10, 1L << 20, 64L << 20, 256L << 20})
        pBench->Arg(cb);
    pBench->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_OnInstall)->Apply(Sizes);
BENCHMARK(BM_DeleteThenCopy)->Apply(Sizes);

}

BENCHMARK_MAIN();
