#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** The chunks of a WAV file (RIFF or RF64) other than its audio, read from
    a recording and written around the equalised audio, so that what a field
    recorder stored (the bext time reference, iXML, cue points, labels,
    chunks nobody here knows) reaches the output byte for byte and in its
    order. The framework's writer keeps only a few of these and rebuilds
    them from parsed values; this keeps them as they were.

    The output's layout: the RIFF or RF64 header, room for a ds64 chunk
    (a JUNK chunk unless the file needs RF64), then the input's chunks in
    their order, with the output's fmt chunk where the input's was and the
    output's data chunk where the input's was, then the chunks that followed
    the input's audio. The samples themselves are written by the framework's
    writer, so their encoding is the same as for any other output; a file
    with no chunk to keep comes out byte for byte as that writer makes it.

    Nothing here throws or prints. */
namespace WavChunks
{
    /** A chunk's body beyond this is not metadata but a damaged size field. */
    constexpr juce::uint32 maxChunkBytes = 16u << 20;

    /** Nor is this much metadata in one file. */
    constexpr juce::uint64 maxTotalBytes = 64u << 20;

    struct Chunk
    {
        char id[4] {};
        juce::MemoryBlock body;   // as declared, without the pad byte

        bool is (const char* tag) const noexcept { return std::memcmp (id, tag, 4) == 0; }
    };

    /** The chunks to write, in order. The "fmt " and "data" entries mark
        places: the output's own go there (the fmt entry holds the input's
        body, for reference; the data entry is empty). */
    struct ChunkList
    {
        std::vector<Chunk> chunks;
        /** Why chunks of the input were left out (a damaged file), or empty. */
        juce::String damage;
    };

    /** Chunk ids are four printable ASCII characters (in AIFF too); the
        description quotes them for messages. */
    bool isPrintableId (const char* id) noexcept;
    juce::String describeId (const char* id);

    /** True when the stream starts as a RIFF or RF64 WAVE file. Moves the
        stream's position. */
    bool isWave (juce::InputStream& in);

    /** The chunks of a RIFF or RF64 WAVE file of this length (which may be
        a cut recording). Left out, as bookkeeping of the input's own format:
        a JUNK chunk right after the WAVE tag (the room writers keep for an
        RF64 header), ds64, fact, and any second fmt or data chunk. A chunk
        that runs past the end of the file or is larger than maxChunkBytes
        ends the list: the chunks before it are kept and `damage` says so.
        The stream's position is changed. */
    ChunkList read (juce::InputStream& in, juce::int64 length);

    /** A bext chunk of version 2 carries the loudness of the recording
        (integrated, range, true peak, momentary and short-term maxima).
        Equalising changes all five, and a figure that is wrong is worse for
        an archive than none: so such a chunk becomes version 1, in which
        those bytes are reserved and zero. Everything else in it, the time
        reference, originator, UMID and coding history included, stays as
        it was. Returns true when a chunk was changed. */
    bool forgetLoudness (ChunkList& list);

    /** The bytes of the output from its start to the first byte of audio.
        dataBytes is the size of the audio; trailerBytes what follows it
        (see trailer()). The file is RF64, with a ds64 chunk, when it is
        4 GiB or larger; otherwise RIFF with 32-bit sizes. The room kept for
        ds64 mirrors the framework's writer: 28 bytes, and 24 more when the
        fmt chunk is the short one (16 bytes). */
    juce::MemoryBlock header (const ChunkList& list, const juce::MemoryBlock& fmtBody,
                              juce::uint64 dataBytes, juce::uint64 trailerBytes);

    /** The bytes after the audio: the audio's pad byte when its size is
        odd, then the chunks that follow the data chunk. */
    juce::MemoryBlock trailer (const ChunkList& list, juce::uint64 dataBytes);

    /** Size of header() for this list, whatever the size of the audio. */
    juce::uint64 headerBytes (const ChunkList& list, size_t fmtBodyBytes);
}
