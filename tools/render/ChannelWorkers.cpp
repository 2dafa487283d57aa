#include "render/ChannelWorkers.h"

#include <algorithm>
#include <utility>

ChannelWorkers::ChannelWorkers (int workers, Job jobToRun)
    : numWorkers (std::max (1, workers)), job (std::move (jobToRun))
{
    for (int w = 1; w < numWorkers; ++w)
        threads.emplace_back ([this, w] { loop (w); });
}

ChannelWorkers::~ChannelWorkers()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        quit = true;
    }
    started.notify_all();

    for (auto& t : threads)
        t.join();
}

int ChannelWorkers::countFor (int numChannels)
{
    const auto cores = (int) std::max (1u, std::thread::hardware_concurrency());
    return std::clamp (numChannels, 1, cores);
}

void ChannelWorkers::run()
{
    if (numWorkers > 1)
    {
        {
            const std::lock_guard<std::mutex> guard (lock);
            ++round;
            busy = numWorkers - 1;
        }
        started.notify_all();
    }

    job (0, numWorkers);

    if (numWorkers > 1)
    {
        std::unique_lock<std::mutex> guard (lock);
        finished.wait (guard, [this] { return busy == 0; });
    }
}

void ChannelWorkers::loop (int worker)
{
    long long seen = 0;

    for (;;)
    {
        {
            std::unique_lock<std::mutex> guard (lock);
            started.wait (guard, [&] { return quit || round != seen; });

            if (quit)
                return;

            seen = round;
        }

        job (worker, numWorkers);

        {
            const std::lock_guard<std::mutex> guard (lock);
            --busy;
        }
        finished.notify_one();
    }
}
