#include "render/FlacMetadataStream.h"

#include <algorithm>
#include <cstring>

namespace
{
    juce::uint32 bigEndian24 (const juce::uint8* p) noexcept
    {
        return ((juce::uint32) p[0] << 16) | ((juce::uint32) p[1] << 8) | (juce::uint32) p[2];
    }

    // Types worth carrying over: application data, Vorbis comments, cue
    // sheet, pictures, and types defined after this was written. Stream
    // information, padding and seek tables belong to the old frames.
    bool worthKeeping (juce::uint8 type) noexcept
    {
        return type == 2 || type == 4 || type == 5 || type == 6 || (type >= 7 && type < 127);
    }

    bool readExactly (juce::InputStream& in, void* dest, int size)
    {
        return in.read (dest, size) == size;
    }
}

FlacMetadataStream::KeptBlocks FlacMetadataStream::readKeptBlocks (juce::InputStream& in, juce::int64 length)
{
    KeptBlocks result;
    const auto saved = in.getPosition();
    in.setPosition (0);

    juce::uint8 start[10] {};
    juce::int64 offset = 0;

    // An ID3v2 tag some taggers put before the stream: its size is in
    // seven-bit bytes, plus ten for a footer.
    if (readExactly (in, start, 10) && std::memcmp (start, "ID3", 3) == 0)
    {
        const auto size = ((juce::int64) (start[6] & 0x7f) << 21) | ((juce::int64) (start[7] & 0x7f) << 14)
            | ((juce::int64) (start[8] & 0x7f) << 7) | (juce::int64) (start[9] & 0x7f);
        offset = 10 + size + ((start[5] & 0x10) != 0 ? 10 : 0);
    }

    in.setPosition (offset);
    char marker[4] {};
    if (! readExactly (in, marker, 4) || std::memcmp (marker, "fLaC", 4) != 0)
    {
        in.setPosition (saved);
        return result;
    }

    offset += 4;
    juce::int64 total = 0;

    for (bool last = false; ! last;)
    {
        juce::uint8 header[4] {};
        if (! readExactly (in, header, 4))
        {
            result.damage = "its metadata ends early";
            break;
        }

        last = (header[0] & lastFlag) != 0;
        const auto type = (juce::uint8) (header[0] & 0x7f);
        const auto size = bigEndian24 (header + 1);
        offset += 4;

        if (offset + (juce::int64) size > length)
        {
            result.damage = "a metadata block runs past the end of the file";
            break;
        }

        if (worthKeeping (type))
        {
            total += 4 + (juce::int64) size;
            if (total > maxTotalBytes || (int) result.blocks.size() >= maxBlocks)
            {
                result.damage = "its metadata is larger than " + juce::String (maxTotalBytes >> 20) + " MiB or "
                    + juce::String (maxBlocks) + " blocks";
                break;
            }

            Block block;
            block.type = type;
            block.body.setSize (size);
            if (size > 0 && ! readExactly (in, block.body.getData(), (int) size))
            {
                result.damage = "a metadata block could not be read";
                break;
            }
            if (type == vorbisComment)
                block.body = withoutLoudnessTags (block.body);
            result.blocks.push_back (std::move (block));
        }

        offset += size;
        in.setPosition (offset);
    }

    in.setPosition (saved);
    return result;
}

juce::MemoryBlock FlacMetadataStream::withoutLoudnessTags (const juce::MemoryBlock& comments)
{
    // vendor length, vendor, number of comments, then each comment as a
    // length and "NAME=value"; all lengths 32-bit little-endian.
    const auto* bytes = static_cast<const char*> (comments.getData());
    const auto size = (juce::uint64) comments.getSize();
    juce::uint64 at = 0;

    auto read32 = [&] (juce::uint64& value) {
        if (at + 4 > size)
            return false;
        value = juce::ByteOrder::littleEndianInt (bytes + at);
        at += 4;
        return true;
    };

    juce::uint64 vendorLength = 0, count = 0;
    if (! read32 (vendorLength) || (at += vendorLength) > size || ! read32 (count))
        return comments;

    const auto vendorEnd = at - 4;
    std::vector<std::pair<juce::uint64, juce::uint64>> kept;   // offset and length of each comment kept

    for (juce::uint64 i = 0; i < count; ++i)
    {
        juce::uint64 length = 0;
        if (! read32 (length) || at + length > size)
            return comments;

        const auto name = juce::String::fromUTF8 (bytes + at, (int) juce::jmin (length, (juce::uint64) 64))
                              .upToFirstOccurrenceOf ("=", false, false)
                              .toUpperCase();
        if (! name.startsWith ("REPLAYGAIN_") && ! name.startsWith ("R128_"))
            kept.push_back ({ at, length });
        at += length;
    }

    if (kept.size() == count)
        return comments;

    juce::MemoryOutputStream out;
    out.write (bytes, (size_t) vendorEnd);
    out.writeInt ((int) kept.size());
    for (const auto& [offset, length] : kept)
    {
        out.writeInt ((int) length);
        out.write (bytes + offset, (size_t) length);
    }
    out.write (bytes + at, (size_t) (size - at));   // anything after the list (a framing bit), as it was
    return out.getMemoryBlock();
}

FlacMetadataStream::FlacMetadataStream (std::unique_ptr<SafeFiles::OutputStream> out, std::vector<Block> blocks)
    : destination (std::move (out)), kept (std::move (blocks))
{
}

FlacMetadataStream::~FlacMetadataStream()
{
    // An encoder that stopped before its metadata was complete: what it
    // wrote goes out as it is, so nothing is silently lost.
    writeHeadIfComplete (true);
    destination->flush();
}

bool FlacMetadataStream::fail()
{
    destination->failure->store (true);
    return false;
}

void FlacMetadataStream::flush()
{
    if (headWritten)
        destination->flush();
}

bool FlacMetadataStream::setPosition (juce::int64 newPosition)
{
    position = juce::jmax ((juce::int64) 0, newPosition);
    return true;
}

bool FlacMetadataStream::write (const void* data, size_t numBytes)
{
    if (destination->failure->load())
        return false;

    if (! headWritten)
    {
        const auto end = (size_t) position + numBytes;
        if (end > (size_t) maxTotalBytes + 4)
        {
            writeHeadIfComplete (true);   // not an encoder's metadata: write it through as it is
        }
        else
        {
            if (end > head.getSize())
                head.setSize (end, true);
            head.copyFrom (data, (int) position, numBytes);
            position += (juce::int64) numBytes;
            writeHeadIfComplete (false);
            return true;
        }
    }

    // Past the metadata everything moves by the same amount; within it only
    // the stream information block may be rewritten, and it stays in place.
    juce::int64 target = position;
    if (position >= encoderMetadataBytes)
        target = position + shift;
    else if (position + (juce::int64) numBytes > firstBlockEnd)
        return fail();

    if (destination->getPosition() != target)
        destination->setPosition (target);

    position += (juce::int64) numBytes;
    return destination->write (data, numBytes);
}

void FlacMetadataStream::writeHeadIfComplete (bool force)
{
    if (headWritten)
        return;

    const auto* bytes = static_cast<const juce::uint8*> (head.getData());
    const auto size = (juce::int64) head.getSize();

    // The encoder's blocks, once all of them are here.
    struct Found
    {
        juce::int64 start, end;
        juce::uint8 type;
    };
    std::vector<Found> found;
    bool complete = false;

    if (size >= 4 && std::memcmp (bytes, "fLaC", 4) == 0)
    {
        for (juce::int64 at = 4; at + 4 <= size;)
        {
            const auto end = at + 4 + (juce::int64) bigEndian24 (bytes + at + 1);
            if (end > size)
                break;

            found.push_back ({ at, end, (juce::uint8) (bytes[at] & 0x7f) });
            at = end;

            if ((bytes[found.back().start] & lastFlag) != 0)
            {
                complete = true;
                break;
            }
        }
    }

    if (! complete && ! force)
        return;

    headWritten = true;
    juce::MemoryOutputStream out;

    if (complete && found.front().type == 0)
    {
        const auto replaceComments = std::any_of (kept.begin(), kept.end(), [] (const Block& b) { return b.type == vorbisComment; });
        std::vector<std::pair<juce::uint8, juce::MemoryBlock>> blocks;

        for (const auto& f : found)
            if (! (replaceComments && f.type == vorbisComment))
                blocks.push_back ({ f.type, juce::MemoryBlock (bytes + f.start + 4, (size_t) (f.end - f.start - 4)) });

        for (const auto& k : kept)
            blocks.push_back ({ k.type, k.body });

        out.write ("fLaC", 4);
        for (size_t i = 0; i < blocks.size(); ++i)
        {
            const auto blockSize = blocks[i].second.getSize();
            out.writeByte ((char) (blocks[i].first | (i + 1 == blocks.size() ? lastFlag : 0)));
            out.writeByte ((char) (blockSize >> 16));
            out.writeByte ((char) (blockSize >> 8));
            out.writeByte ((char) blockSize);
            out << blocks[i].second;
        }

        encoderMetadataBytes = found.back().end;
        firstBlockEnd = found.front().end;
        shift = (juce::int64) out.getDataSize() - encoderMetadataBytes;
        out.write (bytes + encoderMetadataBytes, (size_t) (size - encoderMetadataBytes));
    }
    else
    {
        out.write (bytes, (size_t) size);   // not what an encoder writes: kept as it is
    }

    destination->setPosition (0);
    destination->write (out.getData(), out.getDataSize());
    head.reset();
}
