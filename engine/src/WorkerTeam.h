// The threads of one engine call: parallel loops over a fixed partition, progress and cancel.
#pragma once

#include "vwGlaze.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vg {

// Starts its worker threads on construction and joins them on destruction, so no thread of
// the engine outlives a call. The calling thread takes part in every loop and is the only one
// that calls the progress callback. Loops split work into chunks whose boundaries never depend
// on the thread count, so results are identical for any number of threads.
// Sets flush-to-zero and denormals-are-zero for the current thread and restores the previous
// mode on destruction: the recursive filters decay into denormal range, where x86 arithmetic
// is a hundred times slower. Every thread of a call runs in the same mode, so results do not
// depend on which thread did a chunk.
class CFastFloatScope {
public:
    CFastFloatScope();
    ~CFastFloatScope();
    CFastFloatScope(const CFastFloatScope&) = delete;
    CFastFloatScope& operator=(const CFastFloatScope&) = delete;

private:
    unsigned m_saved = 0;
};

// Clears flush-to-zero and denormals-are-zero while the host's own code runs in a callback,
// so the host sees its usual floating-point mode.
class CHostFloatScope {
public:
    CHostFloatScope();
    ~CHostFloatScope();
    CHostFloatScope(const CHostFloatScope&) = delete;
    CHostFloatScope& operator=(const CHostFloatScope&) = delete;

private:
    unsigned m_saved = 0;
};

class CWorkerTeam {
public:
    // threads <= 0 means one per hardware thread.
    CWorkerTeam(int threads, VwProgressProc progress, void* context);
    ~CWorkerTeam();
    CWorkerTeam(const CWorkerTeam&) = delete;
    CWorkerTeam& operator=(const CWorkerTeam&) = delete;

    int Threads() const { return static_cast<int>(m_workers.size()) + 1; }

    // The number of loops the call will run, for the progress total.
    void PlanPasses(int passes) { m_passesPlanned = passes > 0 ? passes : 1; }

    // Runs body(i, thread) for every i in [0, count), thread in [0, Threads()); false when the
    // host cancelled.
    template <class Body>
    bool ParallelFor(int count, const Body& body) {
        return Run(count, &Invoke<Body>, const_cast<void*>(static_cast<const void*>(&body)));
    }

    // Reports completion; false when the host cancelled at the last moment.
    bool Finish();
    bool Cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

private:
    using Thunk = void (*)(void*, int, int);
    template <class Body>
    static void Invoke(void* body, int i, int thread) {
        (*static_cast<const Body*>(body))(i, thread);
    }

    bool Run(int count, Thunk thunk, void* body);
    void WorkerLoop(int thread);
    // Takes chunks until none is left; returns how many this thread did.
    int Drain(int thread);
    bool Report(int32_t done);
    void ReportMilestones(int reached);

    VwProgressProc m_progress;
    void* m_context;
    int m_passesPlanned = 1;
    int m_passesDone = 0;
    int32_t m_lastReported = 0;
    int m_milestones = 0;

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_stop = false;
    uint64_t m_generation = 0;
    int m_busy = 0;

    Thunk m_thunk = nullptr;
    void* m_body = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    std::atomic<int> m_completed{0};
    std::atomic<bool> m_cancel{false};
};

}  // namespace vg
