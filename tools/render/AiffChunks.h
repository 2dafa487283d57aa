#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** The chunks of an AIFF or AIFF-C recording other than its format and
    sound data: markers, comments, instrument and MIDI data, the name,
    author, copyright and annotation texts, application chunks and chunks
    nobody here knows. They are appended, byte for byte and in their order,
    after the framework's writer has written the equalised sound, and the
    FORM size is set to cover them; the format lets chunks come in any order.
    The framework's writer would keep only markers, comments and instrument
    data, rebuilt from parsed values.

    Nothing here throws or prints. */
namespace AiffChunks
{
    /** A chunk's body beyond this is not metadata but a damaged size field. */
    constexpr juce::uint32 maxChunkBytes = 16u << 20;

    /** Nor is this much metadata in one file. */
    constexpr juce::uint64 maxTotalBytes = 64u << 20;

    struct ChunkList
    {
        /** The chunks as they are stored, header, body and pad byte. */
        juce::MemoryBlock bytes;
        int count = 0;
        /** Why the chunk list could not be walked to its end (a damaged
            file), or empty. A damaged list is not copied. */
        juce::String damage;
        /** Intact chunks left out for their size ("chunk 'ID3 ' at byte 4096"). */
        juce::StringArray skipped;
    };

    /** True when the stream starts as an AIFF or AIFF-C file. Moves the
        stream's position. */
    bool isAiff (juce::InputStream& in);

    /** The chunks to keep of an AIFF file of this length: all but COMM,
        SSND and FVER, which the output has of its own. The walk goes on to
        the end of the file, past a FORM size that is too small; it ends
        quietly at bytes that are not a chunk past the FORM's end, or at
        zero padding. A chunk larger than maxChunkBytes, or one that would
        take the total past maxTotalBytes, is skipped. A chunk that runs past
        the end of the file, or bytes that are not a chunk within the FORM,
        are damage. The stream's position is changed. */
    ChunkList read (juce::InputStream& in, juce::int64 length);

    /** Appends the chunks to an AIFF file the framework's writer has
        finished, which is `fileSize` bytes long, through a stream on the
        same file, and sets its FORM size. False when the result would be
        larger than the format's 4 GiB, with nothing written. */
    bool append (juce::OutputStream& out, juce::int64 fileSize, const ChunkList& list);
}
