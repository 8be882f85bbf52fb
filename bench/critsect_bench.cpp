/* An uncontended critical section enter and leave against std::mutex lock
   and unlock, in the same run: the cost every formatted stream write pays
   for its lock. A nested pair shows the owner's fast path. */
#include <zolt/critsect.h>
#include <zolt/err.h>

#include <benchmark/benchmark.h>
#include <mutex>

namespace
{

void BM_RTCritSect_AcquireLeave(benchmark::State &State)
{
    RTCRITSECT CritSect;
    if (RT_FAILURE(RTCritSectCreate(&CritSect)))
    {
        State.SkipWithError("RTCritSectCreate failed");
        return;
    }
    for (auto _ : State)
    {
        RTCritSectAcquire(&CritSect);
        benchmark::ClobberMemory();
        RTCritSectLeave(&CritSect);
    }
    RTCritSectDestroy(&CritSect);
}
BENCHMARK(BM_RTCritSect_AcquireLeave);

void BM_RTCritSect_NestedAcquireLeave(benchmark::State &State)
{
    RTCRITSECT CritSect;
    if (RT_FAILURE(RTCritSectCreate(&CritSect)))
    {
        State.SkipWithError("RTCritSectCreate failed");
        return;
    }
    RTCritSectAcquire(&CritSect);
    for (auto _ : State)
    {
        RTCritSectAcquire(&CritSect);
        benchmark::ClobberMemory();
        RTCritSectLeave(&CritSect);
    }
    RTCritSectLeave(&CritSect);
    RTCritSectDestroy(&CritSect);
}
BENCHMARK(BM_RTCritSect_NestedAcquireLeave);

void BM_StdMutex_LockUnlock(benchmark::State &State)
{
    std::mutex Mutex;
    for (auto _ : State)
    {
        Mutex.lock();
        benchmark::ClobberMemory();
        Mutex.unlock();
    }
}
BENCHMARK(BM_StdMutex_LockUnlock);

void BM_StdRecursiveMutex_LockUnlock(benchmark::State &State)
{
    std::recursive_mutex Mutex;
    for (auto _ : State)
    {
        Mutex.lock();
        benchmark::ClobberMemory();
        Mutex.unlock();
    }
}
BENCHMARK(BM_StdRecursiveMutex_LockUnlock);

} // namespace

BENCHMARK_MAIN();
