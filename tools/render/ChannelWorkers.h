#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/** Runs the renderer's per-channel work on several threads. Channels are
    independent (each has its own processor), so a file with many of them
    can use every core: worker w takes channels w, w + n, w + 2n ... of each
    chunk, which keeps every channel's blocks in order on one thread. The
    calling thread is worker 0; the others wait between chunks. */
class ChannelWorkers
{
public:
    /** The job gets the worker's index and the number of workers. */
    using Job = std::function<void (int worker, int numWorkers)>;

    ChannelWorkers (int numWorkers, Job job);
    ~ChannelWorkers();

    int size() const noexcept { return numWorkers; }

    /** Runs the job once on every worker; returns when all have finished. */
    void run();

    /** One worker per core, but never more than there are channels. */
    static int countFor (int numChannels);

private:
    void loop (int worker);

    const int numWorkers;
    const Job job;
    std::vector<std::thread> threads;
    std::mutex lock;
    std::condition_variable started, finished;
    long long round = 0;
    int busy = 0;
    bool quit = false;
};
