#include "render/ChunkPipeline.h"

ChunkPipeline::ChunkPipeline (int numChunks, int numChannels, int samplesPerChunk)
    : chunks ((size_t) numChunks)
{
    for (auto& chunk : chunks)
    {
        chunk.audio.setSize (numChannels, samplesPerChunk);
        queues[freeChunks].push_back (&chunk);
    }
}

ChunkPipeline::Chunk* ChunkPipeline::take (Stage stage)
{
    std::unique_lock<std::mutex> lock (mutex);
    changed.wait (lock, [&] { return cancelled || ! queues[(size_t) stage].empty() || finished[(size_t) stage]; });

    if (cancelled || queues[(size_t) stage].empty())
        return nullptr;

    auto* chunk = queues[(size_t) stage].front();
    queues[(size_t) stage].pop_front();
    return chunk;
}

void ChunkPipeline::put (Chunk& chunk, Stage stage)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        queues[(size_t) stage].push_back (&chunk);
    }
    changed.notify_all();
}

void ChunkPipeline::finish (Stage stage)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        finished[(size_t) stage] = true;
    }
    changed.notify_all();
}

void ChunkPipeline::cancel()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        cancelled = true;
    }
    changed.notify_all();
}
