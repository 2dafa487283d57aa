#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/** Where the audio of a FLAC file really ends. The stream information block
    gives the number of samples, and the framework's reader trusts it: once
    the decoder has no more frames it hands out silence up to that number.
    A recording cut short (a copy broken off, a card pulled) or one whose
    stream information is wrong would be padded with invented silence and
    look complete. The frames themselves say where they are: every frame
    header carries its frame or sample number and its block size, and is
    checked by a CRC-8; every frame ends in a CRC-16.

    Nothing here throws or prints. */
namespace FlacFrames
{
    struct LastFrame
    {
        juce::int64 firstSample = 0;
        int numSamples = 0;
        /** The frame runs whole to the end of the file, or to what taggers
            and tools leave after the audio (an ID3v1 or APEv2 tag, zeros, a
            few stray bytes); a frame cut off cannot be decoded. */
        bool complete = false;
    };

    /** The last frame of the FLAC file, found by walking back from its end;
        nothing when no frame is found there (not FLAC, or damaged beyond the
        last frame's reach). A header is taken only when the frame before it
        leads to it (one frame number on, or its samples end where this one
        starts), so that bytes of the audio that happen to look like a header
        are not. `numChannels` is the stream's. The stream's position is
        changed. */
    std::optional<LastFrame> findLastFrame (juce::InputStream& in, juce::int64 length, int numChannels);

    /** The samples the file can give: up to the end of its last frame when
        that is complete, up to its start otherwise; -1 when unknown. */
    juce::int64 samplesThere (juce::InputStream& in, juce::int64 length, int numChannels);
}
