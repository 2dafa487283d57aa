#pragma once

#include "render/SafeFiles.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

/** The stream a FLAC encoder writes the equalised recording through, which
    puts the recording's own metadata blocks into the result: its Vorbis
    comments (title, artist, date, the recorder's notes), pictures,
    application blocks and cue sheet, byte for byte and in their order.

    The framework's encoder writes "fLaC", the stream information block and
    a Vorbis comment block holding only its vendor string, then the frames,
    and at the end goes back to rewrite the stream information in place.
    This stream holds the first bytes until that metadata is complete, then
    writes it with the encoder's Vorbis comment block replaced by the
    recording's blocks (when the recording has comments of its own; the
    encoder's block stays otherwise), and shifts everything after it by the
    difference. The stream information block comes first in both, so its
    rewrite lands where it belongs.

    Seek tables and padding are not kept: they describe the recording's
    frames, not these. Nothing here throws or prints. */
class FlacMetadataStream final : public juce::OutputStream
{
public:
    struct Block
    {
        juce::uint8 type = 0;
        juce::MemoryBlock body;
    };

    struct KeptBlocks
    {
        std::vector<Block> blocks;
        /** Why blocks of the input were left out (a damaged file), or empty. */
        juce::String damage;
    };

    /** Metadata in one file beyond these is not metadata but damage. */
    static constexpr juce::int64 maxTotalBytes = 64 << 20;
    static constexpr int maxBlocks = 4096;

    /** The metadata blocks of a FLAC file worth keeping, in order; none when
        the stream is not FLAC. An ID3v2 tag in front of the FLAC stream is
        skipped. The Vorbis comments lose their loudness tags (ReplayGain,
        R128), which describe the recording before it was equalised and
        would make players set a wrong level. The stream's position is
        restored. */
    static KeptBlocks readKeptBlocks (juce::InputStream& in, juce::int64 length);

    /** A Vorbis comment block's body without its loudness tags; the body
        as it is when it has none, or when it cannot be parsed. */
    static juce::MemoryBlock withoutLoudnessTags (const juce::MemoryBlock& comments);

    /** Writes through `destination` (owned); a failure is reported through
        the destination's own failure flag. `blocks` must not be empty. */
    FlacMetadataStream (std::unique_ptr<SafeFiles::OutputStream> destination, std::vector<Block> blocks);
    ~FlacMetadataStream() override;

    void flush() override;
    bool setPosition (juce::int64 newPosition) override;
    juce::int64 getPosition() override { return position; }
    bool write (const void* data, size_t numBytes) override;

private:
    static constexpr juce::uint8 vorbisComment = 4, lastFlag = 0x80;

    /** Writes the held bytes once the encoder's metadata is complete (or
        when `force`, as they are). */
    void writeHeadIfComplete (bool force);
    bool fail();

    std::unique_ptr<SafeFiles::OutputStream> destination;
    std::vector<Block> kept;

    juce::MemoryBlock head;   // what the encoder wrote before its metadata was complete
    bool headWritten = false;
    juce::int64 encoderMetadataBytes = 0;   // "fLaC" and the encoder's blocks
    juce::int64 firstBlockEnd = 0;          // end of the stream information block, in both layouts
    juce::int64 shift = 0;                  // output offset minus encoder offset, after the metadata
    juce::int64 position = 0;               // the encoder's offset
};
