#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

/** A fixed set of audio chunks passed between a producer and a consumer
    thread: the producer fills free chunks and queues them, the consumer
    takes them in order and gives them back. Memory stays at the chunks
    made up front, whatever the length of the file. */
class ChunkQueue
{
public:
    struct Chunk
    {
        juce::AudioBuffer<float> audio;
        int numSamples = 0;
    };

    ChunkQueue (int numChunks, int numChannels, int samplesPerChunk);

    /** Producer: waits for a free chunk. */
    Chunk& acquireFree();
    /** Producer: hands a filled chunk to the consumer. */
    void pushFilled (Chunk& chunk);
    /** Producer: no more chunks will come. */
    void finish();

    /** Consumer: waits for the next filled chunk; nullptr when finished. */
    Chunk* popFilled();
    /** Consumer: gives a chunk back for reuse. */
    void release (Chunk& chunk);

private:
    std::vector<Chunk> chunks;
    std::deque<Chunk*> free, filled;
    bool finished = false;
    std::mutex mutex;
    std::condition_variable changed;
};
