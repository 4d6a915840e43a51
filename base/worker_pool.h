// WorkerPool: a fixed set of persistent threads that run an array of jobs and return when
// every job has run. Each call of RunOnAll is a barrier. The engine uses one pool for its dot
// bands and the presenter one for its canvas bands.
//
// Hand-over: a job goes to a free worker when there is one; otherwise the dispatcher waits for
// any worker to finish, collects it and hands it the next job. Finished workers keep their
// job until the next call collects them, so a call hands over each job with one signal and
// allocates nothing.
//
// RunOnAll is called from one thread at a time (the engine and presenter call it under their
// own locks). A pool that was never started, or whose threads could not be created, runs
// every job on the calling thread, in order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace quovis {

class WorkerPool {
  public:
    using JobFunction = void (*)(void* object, void* jobRecord);
    static constexpr int kMaxWorkers = 32;

    // The count starts as the number of processors available to the process, at most 32.
    WorkerPool();
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Replaces the worker count (1..32); call before Start.
    void SetWorkerCount(int n);
    int WorkerCount() const { return m_count; }

    // Starts workers 0..count-1. When any of them cannot start, stops them all and returns
    // false; the pool then runs jobs on the caller.
    bool Start();

    // Runs fn(object, records + j * stride) for every j in 0..jobCount-1.
    void RunOnAll(JobFunction fn, void* object, int jobCount, void* records, size_t stride);

    // Typed convenience: records is an array of jobCount records of type Record.
    template <class Object, class Record>
    void RunOnAll(void (*fn)(Object*, Record*), Object* object, int jobCount, Record* records) {
        RunOnAll(reinterpret_cast<JobFunction>(fn), object, jobCount, records, sizeof(Record));
    }

    // Stops and joins every running worker. Safe to call more than once.
    void Stop();

    // Test hook: the next Start fails on worker `index` as if its thread could not be created.
    void FailStartAtForTesting(int index) { m_failStartAt = index; }

  private:
    struct Worker {
        std::mutex lock;               // guards go, stop and the job fields
        std::condition_variable goCv;  // the "go" event
        bool go = false;
        bool stop = false;
        JobFunction fn = nullptr;  // set = handed over and not yet collected
        void* object = nullptr;
        void* record = nullptr;
        bool done = false;  // guarded by the pool's m_doneLock
        std::thread thread;
    };

    bool StartWorker(int index);
    void StopWorker(int index);
    void WorkerLoop(int index);
    void HandOver(int index, JobFunction fn, void* object, void* record);
    int CollectFinishedWorker();

    Worker m_workers[kMaxWorkers];
    int m_count = 1;
    int m_failStartAt = -1;

    // One lock and condition for every worker's done flag, so the dispatcher can wait for
    // whichever worker finishes first.
    std::mutex m_doneLock;
    std::condition_variable m_doneCv;
};

}  // namespace quovis
