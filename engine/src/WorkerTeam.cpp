// Per-call worker threads with a fixed work partition.
#include "WorkerTeam.h"

#include <algorithm>
#include <system_error>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define VG_HAVE_MXCSR 1
#endif

namespace vg {

namespace {
constexpr int32_t kUnitsPerPass = 1000;
// Progress is reported at fixed fractions of each loop, each exactly once, so the sequence of
// calls is the same on every run whichever thread finished which chunk.
constexpr int kMilestones = 4;
constexpr int kMaxThreads = 64;
}  // namespace

CFastFloatScope::CFastFloatScope() {
#if defined(VG_HAVE_MXCSR)
    m_saved = _mm_getcsr();
    _mm_setcsr(m_saved | 0x8040u);  // FTZ | DAZ
#endif
}

CFastFloatScope::~CFastFloatScope() {
#if defined(VG_HAVE_MXCSR)
    _mm_setcsr(m_saved);
#endif
}

CHostFloatScope::CHostFloatScope() {
#if defined(VG_HAVE_MXCSR)
    m_saved = _mm_getcsr();
    _mm_setcsr(m_saved & ~0x8040u);
#endif
}

CHostFloatScope::~CHostFloatScope() {
#if defined(VG_HAVE_MXCSR)
    _mm_setcsr(m_saved);
#endif
}

CWorkerTeam::CWorkerTeam(int threads, VwProgressProc progress, void* context)
    : m_progress(progress), m_context(context) {
    if (threads <= 0) {
        threads = static_cast<int>(std::thread::hardware_concurrency());
    }
    threads = std::clamp(threads, 1, kMaxThreads);
    try {
        m_workers.reserve(static_cast<std::size_t>(threads - 1));
        for (int i = 1; i < threads; ++i) {
            m_workers.emplace_back([this, i] { WorkerLoop(i); });
        }
    } catch (const std::exception&) {
        // Fewer threads only cost speed; the partition, and so the result, stays the same.
    }
}

CWorkerTeam::~CWorkerTeam() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers) {
        t.join();
    }
}

void CWorkerTeam::WorkerLoop(int thread) {
    const CFastFloatScope floatMode;
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop) {
                return;
            }
            seen = m_generation;
        }
        Drain(thread);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_busy == 0) {
                m_idle.notify_all();
            }
        }
    }
}

int CWorkerTeam::Drain(int thread) {
    int done = 0;
    while (!m_cancel.load(std::memory_order_relaxed)) {
        const int i = m_next.fetch_add(1, std::memory_order_relaxed);
        if (i >= m_count) {
            break;
        }
        m_thunk(m_body, i, thread);
        ++done;
        const int completed = m_completed.fetch_add(1, std::memory_order_relaxed) + 1;
        if (thread == 0) {
            ReportMilestones(
                static_cast<int>(static_cast<int64_t>(completed) * kMilestones / m_count));
        }
    }
    return done;
}

void CWorkerTeam::ReportMilestones(int reached) {
    reached = std::min(reached, kMilestones);
    while (m_milestones < reached && !m_cancel.load(std::memory_order_relaxed)) {
        ++m_milestones;
        const int64_t units = static_cast<int64_t>(m_passesDone) * kUnitsPerPass +
                              static_cast<int64_t>(m_milestones) * kUnitsPerPass / kMilestones;
        const int32_t total = m_passesPlanned * kUnitsPerPass;
        // Only the final report may say complete.
        Report(static_cast<int32_t>(std::min<int64_t>(units, total - 1)));
    }
}

bool CWorkerTeam::Report(int32_t done) {
    if (m_progress == nullptr || m_cancel.load(std::memory_order_relaxed)) {
        return !m_cancel.load(std::memory_order_relaxed);
    }
    const int32_t total = m_passesPlanned * kUnitsPerPass;
    done = std::max(std::min(done, total), m_lastReported);
    m_lastReported = done;
    int32_t go;
    {
        const CHostFloatScope hostMode;
        go = m_progress(done, total, m_context);
    }
    if (go == 0) {
        m_cancel.store(true, std::memory_order_relaxed);
        return false;
    }
    return true;
}

bool CWorkerTeam::Run(int count, Thunk thunk, void* body) {
    if (m_cancel.load(std::memory_order_relaxed)) {
        return false;
    }
    m_milestones = 0;
    if (count > 0) {
        m_thunk = thunk;
        m_body = body;
        m_count = count;
        m_next.store(0, std::memory_order_relaxed);
        m_completed.store(0, std::memory_order_relaxed);
        const bool parallel = !m_workers.empty() && count > 1;
        if (parallel) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_busy = static_cast<int>(m_workers.size());
                ++m_generation;
            }
            m_wake.notify_all();
        }
        Drain(0);
        if (parallel) {
            // The body lives on the caller's stack: every worker must be out of it.
            std::unique_lock<std::mutex> lock(m_mutex);
            m_idle.wait(lock, [&] { return m_busy == 0; });
        }
    }
    ReportMilestones(kMilestones);
    if (m_cancel.load(std::memory_order_relaxed)) {
        return false;
    }
    m_passesDone = std::min(m_passesDone + 1, m_passesPlanned);
    return true;
}

bool CWorkerTeam::Finish() {
    if (m_cancel.load(std::memory_order_relaxed)) {
        return false;
    }
    m_passesDone = m_passesPlanned;
    return Report(m_passesPlanned * kUnitsPerPass);
}

}  // namespace vg
