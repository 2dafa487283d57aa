#include "render/AiffChunks.h"
#include "render/WavChunks.h"

#include <cstring>

namespace
{
    bool readExactly (juce::InputStream& in, void* dest, int size)
    {
        return in.read (dest, size) == size;
    }
}

bool AiffChunks::isAiff (juce::InputStream& in)
{
    char header[12] {};
    in.setPosition (0);
    return readExactly (in, header, 12) && std::memcmp (header, "FORM", 4) == 0
        && (std::memcmp (header + 8, "AIFF", 4) == 0 || std::memcmp (header + 8, "AIFC", 4) == 0);
}

AiffChunks::ChunkList AiffChunks::read (juce::InputStream& in, juce::int64 length)
{
    ChunkList list;
    if (! isAiff (in))
        return list;

    char form[8] {};
    in.setPosition (0);
    readExactly (in, form, 8);
    const auto formEnd = 8 + (juce::int64) (juce::uint32) juce::ByteOrder::bigEndianInt (form + 4);

    // Bytes that are not a chunk: the end of the chunks when they lie past
    // the FORM or are all zero (padding), damage otherwise.
    auto endsQuietly = [&] (juce::int64 at) {
        if (at >= formEnd)
            return true;
        in.setPosition (at);
        char byte = 0;
        for (auto n = juce::jmin (formEnd, length) - at; n > 0; --n)
            if (! readExactly (in, &byte, 1) || byte != 0)
                return false;
        return true;
    };

    juce::MemoryOutputStream out (list.bytes, false);

    for (juce::int64 at = 12; at + 8 <= length;)
    {
        char header[8] {};
        in.setPosition (at);
        if (! readExactly (in, header, 8))
            break;

        const auto size = (juce::uint32) juce::ByteOrder::bigEndianInt (header + 4);
        const auto padded = (juce::int64) size + (size & 1);
        const auto offset = juce::String (at);

        if (! WavChunks::isPrintableId (header))
        {
            if (! endsQuietly (at))
                list.damage = "what follows byte " + offset + " is not a chunk";
            break;
        }

        const auto isOwn = std::memcmp (header, "COMM", 4) == 0 || std::memcmp (header, "SSND", 4) == 0
            || std::memcmp (header, "FVER", 4) == 0;

        // Past the FORM's end, a chunk is still taken when the FORM size
        // was merely too small; anything that does not fit in the file there
        // is something else (a tag a tagger appended) and ends the walk.
        if (at >= formEnd && at + 8 + (juce::int64) size > length)
            break;

        if (! isOwn)
        {
            if (at + 8 + (juce::int64) size > length)
            {
                list.damage = "chunk " + WavChunks::describeId (header) + " at byte " + offset + " runs past the end of the file";
                break;
            }

            if (size > maxChunkBytes || (juce::uint64) out.getDataSize() + 8 + (juce::uint64) padded > maxTotalBytes)
            {
                list.skipped.add ("chunk " + WavChunks::describeId (header) + " at byte " + offset + " ("
                                  + juce::String ((juce::int64) size) + " bytes)");
            }
            else
            {
                juce::MemoryBlock body (size, true);
                if (size > 0 && ! readExactly (in, body.getData(), (int) size))
                {
                    list.damage = "chunk " + WavChunks::describeId (header) + " at byte " + offset + " cannot be read";
                    break;
                }

                out.write (header, 8);
                out << body;
                if ((size & 1) != 0)
                    out.writeByte (0);
                ++list.count;
            }
        }

        at += 8 + padded;
    }

    out.flush();
    return list;
}

bool AiffChunks::append (juce::OutputStream& out, juce::int64 fileSize, const ChunkList& list)
{
    const auto end = fileSize + (fileSize & 1);
    const auto formSize = end + (juce::int64) list.bytes.getSize() - 8;
    if (list.count == 0 || formSize > (juce::int64) 0xffffffffu)
        return list.count == 0;

    if (end != fileSize)
    {
        out.setPosition (fileSize);
        out.writeByte (0);
    }

    out.setPosition (end);
    out.write (list.bytes.getData(), list.bytes.getSize());
    out.setPosition (4);
    out.writeIntBigEndian ((int) (juce::uint32) formSize);
    out.flush();
    return true;
}
