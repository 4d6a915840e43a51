#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "base/worker_pool.h"

namespace quovis {
namespace {

struct Job {
    int index = 0;
    int runs = 0;
    std::thread::id thread;
    long long sum = 0;
};

struct Shared {
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> total{0};
    int sleepMicros = 0;
    std::mutex orderLock;
    std::vector<int> order;
};

void RunJob(Shared* shared, Job* job) {
    const int now = shared->running.fetch_add(1) + 1;
    int prev = shared->maxRunning.load();
    while (now > prev && !shared->maxRunning.compare_exchange_weak(prev, now)) {
    }
    if (shared->sleepMicros > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(shared->sleepMicros));
    long long s = 0;
    for (int i = 0; i <= job->index * 100; ++i) s += i;
    job->sum = s;
    job->runs++;
    job->thread = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> g(shared->orderLock);
        shared->order.push_back(job->index);
    }
    shared->total.fetch_add(1);
    shared->running.fetch_sub(1);
}

long long Expected(int index) {
    const long long n = index * 100LL;
    return n * (n + 1) / 2;
}

std::vector<Job> MakeJobs(int n) {
    std::vector<Job> jobs(n);
    for (int i = 0; i < n; ++i) jobs[i].index = i;
    return jobs;
}

TEST(WorkerPool, RunsEveryJobExactlyOnceAndIsABarrier) {
    WorkerPool pool;
    pool.SetWorkerCount(4);
    ASSERT_TRUE(pool.Start());
    Shared shared;
    for (int round = 0; round < 50; ++round) {
        for (int n : {1, 3, 4, 9, 32}) {
            auto jobs = MakeJobs(n);
            pool.RunOnAll(&RunJob, &shared, n, jobs.data());
            // Every job has finished by the time RunOnAll returns.
            EXPECT_EQ(shared.running.load(), 0);
            for (const Job& j : jobs) {
                ASSERT_EQ(j.runs, 1) << "round " << round << " jobs " << n << " job " << j.index;
                ASSERT_EQ(j.sum, Expected(j.index));
            }
        }
    }
}

TEST(WorkerPool, MoreJobsThanWorkersReuseWorkers) {
    WorkerPool pool;
    pool.SetWorkerCount(2);
    ASSERT_TRUE(pool.Start());
    Shared shared;
    shared.sleepMicros = 200;
    auto jobs = MakeJobs(12);
    pool.RunOnAll(&RunJob, &shared, 12, jobs.data());
    std::set<std::thread::id> threads;
    for (const Job& j : jobs) {
        EXPECT_EQ(j.runs, 1);
        threads.insert(j.thread);
    }
    EXPECT_LE(threads.size(), 2u);
    EXPECT_LE(shared.maxRunning.load(), 2);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "jobs ran on the caller";
}

TEST(WorkerPool, FewerJobsThanWorkersWakeOnlyThatMany) {
    WorkerPool pool;
    pool.SetWorkerCount(8);
    ASSERT_TRUE(pool.Start());
    Shared shared;
    shared.sleepMicros = 2000;
    auto jobs = MakeJobs(3);
    pool.RunOnAll(&RunJob, &shared, 3, jobs.data());
    EXPECT_LE(shared.maxRunning.load(), 3);
    EXPECT_EQ(shared.total.load(), 3);
}

TEST(WorkerPool, JobsRunInParallel) {
    WorkerPool pool;
    pool.SetWorkerCount(4);
    ASSERT_TRUE(pool.Start());
    Shared shared;
    shared.sleepMicros = 20000;  // long enough that four sleeping jobs overlap
    auto jobs = MakeJobs(4);
    pool.RunOnAll(&RunJob, &shared, 4, jobs.data());
    EXPECT_GE(shared.maxRunning.load(), 2);
}

TEST(WorkerPool, UnstartedPoolRunsJobsOnCallerInOrder) {
    WorkerPool pool;
    pool.SetWorkerCount(4);
    Shared shared;
    auto jobs = MakeJobs(7);
    pool.RunOnAll(&RunJob, &shared, 7, jobs.data());
    ASSERT_EQ(shared.order.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(shared.order[i], i);
        EXPECT_EQ(jobs[i].thread, std::this_thread::get_id());
        EXPECT_EQ(jobs[i].sum, Expected(i));
    }
}

TEST(WorkerPool, FailedStartStopsEveryWorkerAndFallsBackToCaller) {
    WorkerPool pool;
    pool.SetWorkerCount(4);
    pool.FailStartAtForTesting(2);
    EXPECT_FALSE(pool.Start());
    Shared shared;
    auto jobs = MakeJobs(5);
    pool.RunOnAll(&RunJob, &shared, 5, jobs.data());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(shared.order[i], i);
        EXPECT_EQ(jobs[i].thread, std::this_thread::get_id());
    }
    // A later Start succeeds and the pool works normally.
    ASSERT_TRUE(pool.Start());
    auto more = MakeJobs(8);
    pool.RunOnAll(&RunJob, &shared, 8, more.data());
    for (const Job& j : more) EXPECT_NE(j.thread, std::this_thread::get_id());
}

TEST(WorkerPool, StopJoinsAndPoolCanBeStoppedTwiceAndRestarted) {
    WorkerPool pool;
    pool.SetWorkerCount(3);
    ASSERT_TRUE(pool.Start());
    Shared shared;
    auto jobs = MakeJobs(6);
    pool.RunOnAll(&RunJob, &shared, 6, jobs.data());
    pool.Stop();
    pool.Stop();
    // Stopped: jobs run on the caller again.
    auto after = MakeJobs(2);
    pool.RunOnAll(&RunJob, &shared, 2, after.data());
    EXPECT_EQ(after[0].thread, std::this_thread::get_id());
    ASSERT_TRUE(pool.Start());
    auto again = MakeJobs(6);
    pool.RunOnAll(&RunJob, &shared, 6, again.data());
    for (const Job& j : again) EXPECT_EQ(j.runs, 1);
}

TEST(WorkerPool, WorkerCountIsClamped) {
    WorkerPool pool;
    EXPECT_GE(pool.WorkerCount(), 1);
    EXPECT_LE(pool.WorkerCount(), WorkerPool::kMaxWorkers);
    pool.SetWorkerCount(0);
    EXPECT_EQ(pool.WorkerCount(), 1);
    pool.SetWorkerCount(1000);
    EXPECT_EQ(pool.WorkerCount(), WorkerPool::kMaxWorkers);
}

// Many short calls with varying job counts: the hand-over must never lose or repeat a job,
// and ThreadSanitizer must stay quiet. Two pools run at once from two threads, as the
// engine's and the presenter's do.
TEST(WorkerPool, StressManyCallsTwoPools) {
    auto hammer = [](int workers, int seed) {
        WorkerPool pool;
        pool.SetWorkerCount(workers);
        EXPECT_TRUE(pool.Start());
        Shared shared;
        std::vector<Job> jobs(40);
        unsigned x = static_cast<unsigned>(seed);
        for (int call = 0; call < 3000; ++call) {
            x = x * 1103515245u + 12345u;
            const int n = 1 + static_cast<int>((x >> 16) % 40);
            for (int i = 0; i < n; ++i) jobs[i] = Job{i, 0, {}, 0};
            pool.RunOnAll(&RunJob, &shared, n, jobs.data());
            for (int i = 0; i < n; ++i) {
                if (jobs[i].runs != 1 || jobs[i].sum != Expected(i)) {
                    ADD_FAILURE() << "seed " << seed << " call " << call << " job " << i << " of "
                                  << n << " ran " << jobs[i].runs << " times";
                    return;
                }
            }
        }
    };
    std::thread a(hammer, 3, 1);
    std::thread b(hammer, 5, 2);
    a.join();
    b.join();
}

}  // namespace
}  // namespace quovis
