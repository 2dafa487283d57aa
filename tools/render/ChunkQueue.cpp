#include "render/ChunkQueue.h"

ChunkQueue::ChunkQueue (int numChunks, int numChannels, int samplesPerChunk)
    : chunks ((size_t) numChunks)
{
    for (auto& chunk : chunks)
    {
        chunk.audio.setSize (numChannels, samplesPerChunk);
        free.push_back (&chunk);
    }
}

ChunkQueue::Chunk& ChunkQueue::acquireFree()
{
    std::unique_lock<std::mutex> lock (mutex);
    changed.wait (lock, [this] { return ! free.empty(); });
    auto* chunk = free.front();
    free.pop_front();
    return *chunk;
}

void ChunkQueue::pushFilled (Chunk& chunk)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        filled.push_back (&chunk);
    }
    changed.notify_all();
}

void ChunkQueue::finish()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        finished = true;
    }
    changed.notify_all();
}

ChunkQueue::Chunk* ChunkQueue::popFilled()
{
    std::unique_lock<std::mutex> lock (mutex);
    changed.wait (lock, [this] { return ! filled.empty() || finished; });

    if (filled.empty())
        return nullptr;

    auto* chunk = filled.front();
    filled.pop_front();
    return chunk;
}

void ChunkQueue::release (Chunk& chunk)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        free.push_back (&chunk);
    }
    changed.notify_all();
}
