#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

/** A fixed set of audio chunks passed along three threads: a reader fills
    free chunks, the processing thread equalises filled ones, a writer
    encodes processed ones and frees them again. Memory stays at the chunks
    made up front, whatever the length of the file. */
class ChunkPipeline
{
public:
    enum Stage
    {
        freeChunks = 0,
        filled,
        processed,
        numStages
    };

    struct Chunk
    {
        juce::AudioBuffer<float> audio;
        juce::int64 position = 0;
        int numSamples = 0;
    };

    ChunkPipeline (int numChunks, int numChannels, int samplesPerChunk);

    /** Waits for a chunk at this stage; nullptr once the stage is finished
        and empty, or the pipeline is cancelled. */
    Chunk* take (Stage stage);
    void put (Chunk& chunk, Stage stage);

    /** The producer of this stage will put nothing more. */
    void finish (Stage stage);

    /** Wakes every thread; from now on take() gives nullptr. */
    void cancel();

private:
    std::vector<Chunk> chunks;
    std::array<std::deque<Chunk*>, numStages> queues;
    std::array<bool, numStages> finished {};
    bool cancelled = false;
    std::mutex mutex;
    std::condition_variable changed;
};
