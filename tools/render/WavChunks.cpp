#include "render/WavChunks.h"

namespace WavChunks
{
    namespace
    {
        constexpr juce::uint64 riffLimit = 0x100000000ull;   // a RIFF file stays below 4 GiB
        constexpr juce::uint32 ds64BodyBytes = 28;           // 64-bit RIFF and data sizes, sample count, no table

        juce::uint32 le32 (const char* p) noexcept
        {
            return juce::ByteOrder::littleEndianInt (p);
        }

        juce::uint64 padded (juce::uint64 size) noexcept { return size + (size & 1); }

        juce::uint64 bodyBytes (const Chunk& chunk, size_t fmtBodyBytes) noexcept
        {
            return chunk.is ("fmt ") ? fmtBodyBytes : chunk.body.getSize();
        }

        /** Where the fmt and data chunks go: always present, fmt before data,
        as every reader that streams a file needs them. */
        void placeFormatAndData (std::vector<Chunk>& chunks)
        {
            auto find = [&] (const char* tag) {
                return std::find_if (chunks.begin(), chunks.end(), [tag] (const Chunk& c) { return c.is (tag); });
            };

            auto d = find ("data");
            if (d == chunks.end())
            {
                Chunk data;
                std::memcpy (data.id, "data", 4);
                d = chunks.insert (chunks.end(), std::move (data));
            }

            // The input's fmt stays where it was, unless that was after the audio.
            auto f = find ("fmt ");
            if (f != chunks.end() && f < d)
                return;
            if (f != chunks.end())
                chunks.erase (f);

            Chunk fmt;
            std::memcpy (fmt.id, "fmt ", 4);
            chunks.insert (find ("data"), std::move (fmt));
        }

        size_t formatPosition (const std::vector<Chunk>& chunks, const char* tag) noexcept
        {
            for (size_t i = 0; i < chunks.size(); ++i)
                if (chunks[i].is (tag))
                    return i;
            return chunks.size();
        }

        void putTag (juce::MemoryOutputStream& out, const char* tag) { out.write (tag, 4); }
        void putSize (juce::MemoryOutputStream& out, juce::uint64 size) { out.writeInt ((int) (juce::uint32) size); }
    }

    bool isWave (juce::InputStream& in)
    {
        char head[12] {};
        if (! in.setPosition (0) || in.read (head, 12) != 12)
            return false;
        return (std::memcmp (head, "RIFF", 4) == 0 || std::memcmp (head, "RF64", 4) == 0)
            && std::memcmp (head + 8, "WAVE", 4) == 0;
    }

    bool forgetLoudness (ChunkList& list)
    {
        // Offsets in the bext body: the version, then five 16-bit loudness
        // figures after the 64-byte UMID.
        constexpr size_t versionAt = 346, loudnessAt = 412, loudnessBytes = 10;
        bool changed = false;

        for (auto& chunk : list.chunks)
        {
            const auto size = chunk.body.getSize();
            if (! chunk.is ("bext") || size < versionAt + 2)
                continue;

            auto* body = static_cast<char*> (chunk.body.getData());
            if (juce::ByteOrder::littleEndianShort (body + versionAt) < 2)
                continue;

            // A chunk cut short holds only part of the figures: that part goes.
            body[versionAt] = 1;
            body[versionAt + 1] = 0;
            if (size > loudnessAt)
                std::memset (body + loudnessAt, 0, juce::jmin (loudnessBytes, size - loudnessAt));
            changed = true;
        }
        return changed;
    }

    ChunkList read (juce::InputStream& in, juce::int64 length)
    {
        ChunkList list;
        if (! isWave (in))
            return list;

        char head[12] {};
        in.setPosition (0);
        in.read (head, 12);
        const auto rf64 = std::memcmp (head, "RF64", 4) == 0;

        // Past the end the file declares, bytes that are not chunks are left
        // over from something else (a recorder's preallocation) and not damage.
        auto declaredEnd = (juce::int64) le32 (head + 4) + 8;
        juce::uint64 rf64DataBytes = 0;
        juce::uint64 kept = 0;
        bool seenFmt = false, seenData = false;

        for (juce::int64 position = 12; position + 8 <= length;)
        {
            char header[8] {};
            if (! in.setPosition (position) || in.read (header, 8) != 8)
                break;

            Chunk chunk;
            std::memcpy (chunk.id, header, 4);
            juce::uint64 size = le32 (header + 4);
            const auto offset = juce::String (position);

            if (! isPrintableId (chunk.id))
            {
                if (position < declaredEnd)
                    list.damage = "what follows byte " + offset + " is not a chunk";
                break;
            }

            if (chunk.is ("data"))
            {
                if (rf64 && size == 0xffffffffu)
                    size = rf64DataBytes;

                // Audio cut short: nothing of the file follows it.
                if ((juce::uint64) position + 8 + size > (juce::uint64) length)
                {
                    if (! seenData)
                        list.chunks.push_back (std::move (chunk));
                    break;
                }
            }
            else if (size > maxChunkBytes)
            {
                list.damage = "chunk " + describeId (chunk.id) + " at byte " + offset + " declares " + juce::String ((juce::int64) size)
                    + " bytes, more than any metadata";
                break;
            }
            else if ((juce::uint64) position + 8 + size > (juce::uint64) length)
            {
                list.damage = "chunk " + describeId (chunk.id) + " at byte " + offset + " runs past the end of the file";
                break;
            }

            const auto first = position == 12;
            position += 8 + (juce::int64) padded (size);

            if (chunk.is ("ds64"))
            {
                // Only the RF64 sizes matter here; the output gets its own.
                char sizes[16] {};
                if (size >= 16 && in.read (sizes, 16) == 16)
                {
                    rf64DataBytes = (juce::uint64) juce::ByteOrder::littleEndianInt64 (sizes + 8);
                    declaredEnd = (juce::int64) juce::ByteOrder::littleEndianInt64 (sizes) + 8;
                }
                continue;
            }

            // The room kept for an RF64 header, the sample count of the input's
            // format: bookkeeping the output does for itself.
            if ((first && chunk.is ("JUNK")) || chunk.is ("fact"))
                continue;

            if (chunk.is ("fmt ") || chunk.is ("data"))
            {
                auto& seen = chunk.is ("fmt ") ? seenFmt : seenData;
                if (! seen && chunk.is ("fmt "))
                {
                    chunk.body.setSize ((size_t) size);
                    if (in.read (chunk.body.getData(), (int) size) != (int) size)
                        chunk.body.reset();
                }
                if (! seen)
                    list.chunks.push_back (std::move (chunk));
                seen = true;
                continue;
            }

            kept += size;
            if (kept > maxTotalBytes)
            {
                list.damage = "chunk " + describeId (chunk.id) + " at byte " + offset + " takes the file's metadata past "
                    + juce::String ((juce::int64) (maxTotalBytes >> 20)) + " MiB";
                break;
            }

            chunk.body.setSize ((size_t) size);
            if (size > 0 && in.read (chunk.body.getData(), (int) size) != (int) size)
            {
                list.damage = "chunk " + describeId (chunk.id) + " at byte " + offset + " cannot be read";
                break;
            }
            list.chunks.push_back (std::move (chunk));
        }

        placeFormatAndData (list.chunks);
        return list;
    }

    juce::uint64 headerBytes (const ChunkList& list, size_t fmtBodyBytes)
    {
        const juce::uint64 reserved = ds64BodyBytes + (fmtBodyBytes == 16 ? 24 : 0);
        juce::uint64 size = 12 + 8 + reserved;

        for (const auto& chunk : list.chunks)
        {
            size += 8;
            if (chunk.is ("data"))
                break;
            size += padded (bodyBytes (chunk, fmtBodyBytes));
        }
        return size;
    }

    juce::MemoryBlock header (const ChunkList& list, const juce::MemoryBlock& fmtBody,
                              juce::uint64 dataBytes, juce::uint64 trailerBytes)
    {
        const auto reserved = ds64BodyBytes + (fmtBody.getSize() == 16 ? 24u : 0u);
        const auto headerSize = headerBytes (list, fmtBody.getSize());
        const auto fileSize = headerSize + dataBytes + trailerBytes;
        const auto rf64 = fileSize >= riffLimit;

        juce::MemoryOutputStream out ((size_t) headerSize);
        putTag (out, rf64 ? "RF64" : "RIFF");
        putSize (out, rf64 ? 0xffffffffu : fileSize - 8);
        putTag (out, "WAVE");

        if (rf64)
        {
            const auto blockAlign = fmtBody.getSize() >= 14 ? juce::ByteOrder::littleEndianShort (static_cast<const char*> (fmtBody.getData()) + 12) : 0;
            putTag (out, "ds64");
            putSize (out, ds64BodyBytes);
            out.writeInt64 ((juce::int64) (fileSize - 8));
            out.writeInt64 ((juce::int64) dataBytes);
            out.writeInt64 ((juce::int64) (blockAlign > 0 ? dataBytes / (juce::uint64) blockAlign : 0));
            out.writeInt (0);   // no table: only the data chunk is larger than 4 GiB

            if (reserved > ds64BodyBytes)
            {
                putTag (out, "JUNK");
                putSize (out, reserved - ds64BodyBytes - 8);
                out.writeRepeatedByte (0, reserved - ds64BodyBytes - 8);
            }
        }
        else
        {
            putTag (out, "JUNK");
            putSize (out, reserved);
            out.writeRepeatedByte (0, reserved);
        }

        for (const auto& chunk : list.chunks)
        {
            out.write (chunk.id, 4);

            if (chunk.is ("data"))
            {
                putSize (out, rf64 ? 0xffffffffu : dataBytes);
                break;
            }

            const auto& body = chunk.is ("fmt ") ? fmtBody : chunk.body;
            putSize (out, body.getSize());
            out << body;
            if ((body.getSize() & 1) != 0)
                out.writeByte (0);
        }

        jassert (out.getDataSize() == headerSize);
        return out.getMemoryBlock();
    }

    juce::MemoryBlock trailer (const ChunkList& list, juce::uint64 dataBytes)
    {
        juce::MemoryOutputStream out;
        if ((dataBytes & 1) != 0)
            out.writeByte (0);

        for (auto i = formatPosition (list.chunks, "data") + 1; i < list.chunks.size(); ++i)
        {
            const auto& chunk = list.chunks[i];
            out.write (chunk.id, 4);
            putSize (out, chunk.body.getSize());
            out << chunk.body;
            if ((chunk.body.getSize() & 1) != 0)
                out.writeByte (0);
        }
        return out.getMemoryBlock();
    }
}

bool WavChunks::isPrintableId (const char* id) noexcept
{
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7e)
            return false;
    return true;
}

juce::String WavChunks::describeId (const char* id)
{
    return "'" + juce::String (id, 4) + "'";
}
