#include "base/worker_pool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "base/system_info.h"

namespace quovis {

namespace {

// Workers run one step above the process's priority so that the frame's bands are not kept
// waiting by background work. Lowering the nice value needs a privilege most users lack; the
// failure is expected and harmless, so it is ignored.
void RaiseCurrentThreadPriority() {
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0) return;
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 1);
}

}  // namespace

WorkerPool::WorkerPool() {
    m_count = std::clamp(ProcessorCount(), 1, kMaxWorkers);
}

WorkerPool::~WorkerPool() {
    Stop();
}

void WorkerPool::SetWorkerCount(int n) {
    m_count = std::clamp(n, 1, kMaxWorkers);
}

bool WorkerPool::Start() {
    bool ok = true;
    for (int i = 0; i < m_count && ok; ++i) ok = StartWorker(i);
    if (!ok) Stop();
    m_failStartAt = -1;
    return ok;
}

bool WorkerPool::StartWorker(int index) {
    Worker& w = m_workers[index];
    if (w.thread.joinable()) {
        std::lock_guard<std::mutex> guard(w.lock);
        w.stop = false;
        w.go = true;
        w.goCv.notify_one();
        return true;
    }
    {
        std::lock_guard<std::mutex> guard(w.lock);
        w.stop = false;
        w.go = false;
        w.fn = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(m_doneLock);
        w.done = false;
    }
    if (index == m_failStartAt) return false;
    try {
        w.thread = std::thread(&WorkerPool::WorkerLoop, this, index);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerPool::StopWorker(int index) {
    Worker& w = m_workers[index];
    if (!w.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(w.lock);
        w.stop = true;
        w.go = true;
        w.goCv.notify_one();
    }
    w.thread.join();
    std::lock_guard<std::mutex> guard(w.lock);
    w.fn = nullptr;
    w.go = false;
}

void WorkerPool::Stop() {
    for (int i = 0; i < kMaxWorkers; ++i) StopWorker(i);
}

void WorkerPool::WorkerLoop(int index) {
    RaiseCurrentThreadPriority();
    Worker& w = m_workers[index];
    std::unique_lock<std::mutex> guard(w.lock);
    for (;;) {
        w.goCv.wait(guard, [&w] { return w.go; });
        w.go = false;
        if (w.stop) break;
        if (w.fn == nullptr) continue;
        const JobFunction fn = w.fn;
        void* const object = w.object;
        void* const record = w.record;
        guard.unlock();
        fn(object, record);
        {
            std::lock_guard<std::mutex> doneGuard(m_doneLock);
            w.done = true;
        }
        // notify_all: the dispatcher may be waiting for "any worker" or for this one.
        m_doneCv.notify_all();
        guard.lock();
    }
}

void WorkerPool::HandOver(int index, JobFunction fn, void* object, void* record) {
    Worker& w = m_workers[index];
    std::lock_guard<std::mutex> guard(w.lock);
    w.fn = fn;
    w.object = object;
    w.record = record;
    {
        std::lock_guard<std::mutex> doneGuard(m_doneLock);
        w.done = false;
    }
    w.go = true;
    w.goCv.notify_one();
}

int WorkerPool::CollectFinishedWorker() {
    std::unique_lock<std::mutex> doneGuard(m_doneLock);
    int found = -1;
    m_doneCv.wait(doneGuard, [&] {
        for (int i = 0; i < m_count; ++i) {
            // Only the dispatcher writes fn, so reading it here needs no worker lock.
            if (m_workers[i].fn != nullptr && m_workers[i].done) {
                found = i;
                return true;
            }
        }
        return false;
    });
    m_workers[found].done = false;
    doneGuard.unlock();
    std::lock_guard<std::mutex> guard(m_workers[found].lock);
    m_workers[found].fn = nullptr;
    return found;
}

void WorkerPool::RunOnAll(JobFunction fn, void* object, int jobCount, void* records,
                          size_t stride) {
    if (jobCount <= 0) return;
    auto* base = static_cast<unsigned char*>(records);

    const int needed = std::min(jobCount, m_count);
    for (int i = 0; i < needed; ++i) {
        if (!m_workers[i].thread.joinable()) {
            for (int j = 0; j < jobCount; ++j) fn(object, base + static_cast<size_t>(j) * stride);
            return;
        }
    }

    for (int j = 0; j < jobCount; ++j) {
        int chosen = -1;
        for (int i = 0; i < m_count; ++i) {
            if (m_workers[i].fn == nullptr && m_workers[i].thread.joinable()) {
                chosen = i;
                break;
            }
        }
        if (chosen < 0) chosen = CollectFinishedWorker();
        HandOver(chosen, fn, object, base + static_cast<size_t>(j) * stride);
    }

    std::unique_lock<std::mutex> doneGuard(m_doneLock);
    m_doneCv.wait(doneGuard, [&] {
        for (int i = 0; i < m_count; ++i) {
            if (m_workers[i].fn != nullptr && !m_workers[i].done) return false;
        }
        return true;
    });
}

}  // namespace quovis
