#include "render/WavChunks.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <gtest/gtest.h>

#include <cmath>

namespace
{
    struct RawChunk
    {
        std::string id;
        std::string body;

        bool operator== (const RawChunk& other) const { return id == other.id && body == other.body; }
    };

    std::ostream& operator<< (std::ostream& os, const RawChunk& c) { return os << c.id << " (" << c.body.size() << " bytes)"; }

    void put32 (std::string& s, juce::uint32 v)
    {
        for (int i = 0; i < 4; ++i)
            s += (char) (v >> (8 * i));
    }
    void put16 (std::string& s, juce::uint16 v)
    {
        for (int i = 0; i < 2; ++i)
            s += (char) (v >> (8 * i));
    }
    void put64 (std::string& s, juce::uint64 v)
    {
        for (int i = 0; i < 8; ++i)
            s += (char) (v >> (8 * i));
    }
    juce::uint32 get32 (const std::string& s, size_t at) { return juce::ByteOrder::littleEndianInt (s.data() + at); }
    juce::uint64 get64 (const std::string& s, size_t at) { return juce::ByteOrder::littleEndianInt64 (s.data() + at); }

    /** A RIFF (or RF64) WAVE file of these chunks, odd ones padded. */
    std::string waveFile (const std::vector<RawChunk>& chunks, bool rf64 = false)
    {
        std::string body = "WAVE";
        size_t dataSize = 0;
        if (rf64)
        {
            body += "ds64";
            put32 (body, 28);
            body += std::string (28, '\0');   // sizes filled in below
        }
        for (const auto& c : chunks)
        {
            body += c.id;
            put32 (body, rf64 && c.id == "data" ? 0xffffffffu : (juce::uint32) c.body.size());
            body += c.body;
            if (c.body.size() % 2 != 0)
                body += '\0';
            if (c.id == "data")
                dataSize = c.body.size();
        }
        std::string file = rf64 ? "RF64" : "RIFF";
        put32 (file, rf64 ? 0xffffffffu : (juce::uint32) body.size());
        file += body;
        if (rf64)
        {
            std::string sizes;
            put64 (sizes, file.size() - 8);
            put64 (sizes, dataSize);
            file.replace (20, 16, sizes);
        }
        return file;
    }

    /** The chunks of a WAVE file as they are stored, and its header fields. */
    struct Parsed
    {
        std::string tag;
        juce::uint32 riffSize = 0;
        std::vector<RawChunk> chunks;
        bool wellFormed = false;   // the chunks end exactly at the end of the file
    };

    Parsed parse (const std::string& file)
    {
        Parsed p;
        if (file.size() < 12)
            return p;
        p.tag = file.substr (0, 4);
        p.riffSize = get32 (file, 4);
        juce::uint64 rf64Data = 0;
        size_t pos = 12;
        while (pos + 8 <= file.size())
        {
            RawChunk c { file.substr (pos, 4), {} };
            juce::uint64 size = get32 (file, pos + 4);
            if (c.id == "data" && size == 0xffffffffu)
                size = rf64Data;
            if (pos + 8 + size > file.size())
                return p;
            c.body = file.substr (pos + 8, (size_t) size);
            if (c.id == "ds64")
                rf64Data = get64 (file, pos + 16);
            pos += 8 + (size_t) size + (size_t) (size & 1);
            p.chunks.push_back (std::move (c));
        }
        p.wellFormed = pos == file.size();
        return p;
    }

    std::string fmtChunk (int channels, int bits, bool floating)
    {
        std::string s;
        put16 (s, floating ? 3 : 1);
        put16 (s, (juce::uint16) channels);
        put32 (s, 48000);
        put32 (s, (juce::uint32) (48000 * channels * bits / 8));
        put16 (s, (juce::uint16) (channels * bits / 8));
        put16 (s, (juce::uint16) bits);
        return s;
    }

    std::string samples (int channels, int frames, int bits, bool floating)
    {
        std::string s;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
            {
                const auto value = 0.25 * std::sin (0.013 * i * (c + 1)) + 0.05 * std::sin (0.71 * i);
                if (floating)
                {
                    const auto f = (float) value;
                    juce::uint32 bitsOfF;
                    std::memcpy (&bitsOfF, &f, 4);
                    put32 (s, bitsOfF);
                }
                else
                {
                    const auto v = (juce::int64) std::lround (value * (double) ((1 << (bits - 1)) - 1));
                    for (int b = 0; b < bits / 8; ++b)
                        s += (char) (v >> (8 * b));
                }
            }
        return s;
    }

    /** What a field recorder stores with a take: the bext time reference and
        originator, an iXML track list, cue points with labels, a sampler
        chunk, a chunk nobody knows, and INFO text after the audio. */
    std::vector<RawChunk> recorderChunks (int channels, int frames, int bits, bool floating)
    {
        std::string bext (602, '\0');
        auto set = [&bext] (size_t at, const std::string& text) { bext.replace (at, text.size(), text); };
        set (0, "Scene 4 dish");                                   // description
        set (256, "FieldRec 700");                                 // originator
        set (320, "2024-05-17");                                   // origination date
        set (330, "05:12:40");                                     // origination time
        const juce::uint64 timeReference = 901920000ull + 12345;   // 05:13:20 at 48 kHz, and a few samples
        for (int i = 0; i < 8; ++i)
            bext[338 + (size_t) i] = (char) (timeReference >> (8 * i));
        bext[346] = 1;                                        // version
        bext += "A=PCM,F=48000,W=24,M=mono,T=FieldRec\r\n";   // coding history, odd total length

        const std::string ixml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><PROJECT>Marsh</PROJECT><SCENE>4</SCENE>"
                                 "<TAKE>7</TAKE><TRACK_LIST><TRACK_COUNT>1</TRACK_COUNT><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX>"
                                 "<NAME>Dish</NAME></TRACK></TRACK_LIST><UBITS>0012</UBITS></BWFXML>\n";

        std::string cue;
        put32 (cue, 2);
        for (juce::uint32 id = 1; id <= 2; ++id)
        {
            put32 (cue, id);
            put32 (cue, id * 100);   // position
            cue += "data";
            put32 (cue, 0);
            put32 (cue, 0);
            put32 (cue, id * 100);   // sample offset
        }

        std::string labels = "adtl";
        for (juce::uint32 id = 1; id <= 2; ++id)
        {
            const auto text = id == 1 ? std::string ("wren", 5) : std::string ("heron", 6);
            labels += "labl";
            put32 (labels, (juce::uint32) (4 + text.size()));
            put32 (labels, id);
            labels += text;
            if (text.size() % 2 != 0)
                labels += '\0';
        }

        std::string smpl (36, '\0');
        smpl[12] = 60;

        std::string info = "INFOICMT";
        put32 (info, 9);
        info += std::string ("windy day", 10);

        return { { "JUNK", std::string (28, '\0') },
                 { "bext", bext },
                 { "fmt ", fmtChunk (channels, bits, floating) },
                 { "iXML", ixml },
                 { "fact", [&] { std::string s; put32 (s, (juce::uint32) frames); return s; }() },
                 { "cue ", cue },
                 { "LIST", labels },
                 { "smpl", smpl },
                 { "Xtr1", "odd" },
                 { "data", samples (channels, frames, bits, floating) },
                 { "LIST", info },
                 { "zzzz", std::string ("\x01\x02\x03", 3) } };
    }

    /** Runs the renderer on files in a folder of its own. */
    class Metadata : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            dir = juce::File::createTempFile ("tessaro-metadata-test");
            ASSERT_TRUE (dir.createDirectory());
        }

        void TearDown() override { dir.deleteRecursively(); }

        juce::File write (const juce::String& name, const std::string& bytes) const
        {
            const auto f = dir.getChildFile (name);
            f.replaceWithData (bytes.data(), bytes.size());
            return f;
        }

        std::string load (const juce::String& name) const
        {
            juce::MemoryBlock block;
            dir.getChildFile (name).loadFileAsData (block);
            return std::string (static_cast<const char*> (block.getData()), block.getSize());
        }

        /** Exit status and everything printed. */
        std::pair<int, juce::String> render (const juce::String& input, const juce::String& output) const
        {
            juce::ChildProcess process;
            const juce::StringArray args { TESSARO_RENDER_PATH, dir.getChildFile (input).getFullPathName(),
                                           dir.getChildFile (output).getFullPathName() };
            if (! process.start (args))
                return { -1, "cannot start" };
            const auto text = process.readAllProcessOutput();
            process.waitForProcessToFinish (60000);
            return { (int) process.getExitCode(), text };
        }

        juce::StringArray files() const
        {
            juce::StringArray names;
            for (const auto& entry : juce::RangedDirectoryIterator (dir, false, "*", juce::File::findFilesAndDirectories))
                names.add (entry.getFile().getFileName());
            names.sort (false);
            return names;
        }

        juce::File dir;
    };

    RawChunk chunkOf (const std::vector<RawChunk>& chunks, const std::string& id)
    {
        for (const auto& c : chunks)
            if (c.id == id)
                return c;
        return {};
    }
}

//==============================================================================
TEST_F (Metadata, RecorderChunksReachTheOutputUnchangedAndInOrder)
{
    struct Case
    {
        int channels, frames, bits;
        bool floating;
    };
    const Case cases[] {
        { 1, 4800, 32, true },    // the usual dish take
        { 1, 4801, 24, false },   // odd-sized audio: its pad byte comes before the chunks after it
        { 2, 3000, 16, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.channels) + " ch, " + juce::String (c.bits) + " bit, " + juce::String (c.frames) + " frames");
        const auto chunks = recorderChunks (c.channels, c.frames, c.bits, c.floating);
        const auto input = waveFile (chunks);
        write ("take.wav", input);

        // The same audio with no metadata, for the samples the renderer writes.
        write ("plain.wav", waveFile ({ chunkOf (chunks, "fmt "), chunkOf (chunks, "data") }));

        const auto [status, text] = render ("take.wav", "take-eq.wav");
        ASSERT_EQ (status, 0) << text;
        ASSERT_EQ (render ("plain.wav", "plain-eq.wav").first, 0);

        EXPECT_EQ (load ("take.wav"), input) << "the input was changed";

        const auto out = load ("take-eq.wav");
        const auto parsed = parse (out);
        const auto plain = parse (load ("plain-eq.wav"));
        ASSERT_TRUE (parsed.wellFormed);
        EXPECT_EQ (parsed.tag, "RIFF");
        EXPECT_EQ (parsed.riffSize, out.size() - 8);

        // Every chunk but the input's format bookkeeping (its leading JUNK,
        // fact), in order; fmt and data where they were, holding the output's.
        std::vector<RawChunk> expected;
        expected.push_back (plain.chunks[0]);   // the room for an RF64 header
        for (const auto& chunk : chunks)
        {
            if (chunk.id == "JUNK" || chunk.id == "fact")
                continue;
            expected.push_back (chunk.id == "fmt " || chunk.id == "data" ? chunkOf (plain.chunks, chunk.id) : chunk);
        }
        EXPECT_EQ (parsed.chunks, expected);

        // The framework reads the take's time reference and cue points back.
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (dir.getChildFile ("take-eq.wav").createInputStream().release(), true));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->lengthInSamples, c.frames);
        EXPECT_EQ (reader->metadataValues[juce::WavAudioFormat::bwavTimeReference], "901932345");
        EXPECT_EQ (reader->metadataValues["Cue1Offset"], "200");
    }
}

TEST_F (Metadata, LoudnessFiguresOfTheRecordingAreNotCarriedOver)
{
    // The five loudness figures of a version 2 bext describe the audio before
    // equalising; nothing else of the chunk may change.
    struct Case
    {
        int version;
        size_t bytes;   // of the chunk's body; a full one holds 602 and its coding history
        bool cleared;
    };
    // clang-format off
    const Case cases[] {
        { 0, 0,   false },   // no loudness fields: the bytes are reserved and kept as they are
        { 1, 0,   false },
        { 2, 0,   true },
        { 3, 0,   true },    // a later version keeps the fields where version 2 put them
        { 2, 420, true },    // cut short inside the figures
        { 2, 348, true },    // cut short after the version
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("bext version " + juce::String (c.version) + ", " + juce::String ((int) c.bytes) + " bytes");
        auto chunks = recorderChunks (1, 4800, 24, false);
        auto& bext = chunks[1].body;
        ASSERT_EQ (chunks[1].id, "bext");
        bext[346] = (char) c.version;
        const juce::int16 loudness[] { -2310, 840, -120, -1500, -1850 };   // LUFS, LU, dBTP, LUFS, LUFS, times 100
        for (size_t i = 0; i < 5; ++i)
        {
            bext[412 + 2 * i] = (char) (loudness[i] & 0xff);
            bext[413 + 2 * i] = (char) ((juce::uint16) loudness[i] >> 8);
        }
        if (c.bytes > 0)
            bext.resize (c.bytes);
        write ("take.wav", waveFile (chunks));

        const auto [status, text] = render ("take.wav", "take-eq.wav");
        ASSERT_EQ (status, 0) << text;
        EXPECT_EQ (text.contains ("loudness"), c.cleared) << text;

        const auto out = chunkOf (parse (load ("take-eq.wav")).chunks, "bext").body;
        auto expected = bext;
        if (c.cleared)
        {
            expected[346] = 1;
            std::fill (expected.begin() + (std::ptrdiff_t) std::min<size_t> (412, expected.size()),
                       expected.begin() + (std::ptrdiff_t) std::min<size_t> (422, expected.size()), '\0');
        }
        EXPECT_EQ (out, expected);
    }
}

TEST_F (Metadata, AFileWithNothingToKeepIsWrittenAsTheFrameworkWritesIt)
{
    // The renderer's samples, written again by the framework's writer, must
    // give the same bytes: the layout of plain files has not changed.
    write ("plain.wav", waveFile ({ { "fmt ", fmtChunk (1, 32, true) }, { "data", samples (1, 5000, 32, true) } }));
    ASSERT_EQ (render ("plain.wav", "plain-eq.wav").first, 0);

    const auto rendered = dir.getChildFile ("plain-eq.wav");
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (rendered.createInputStream().release(), true));
    ASSERT_NE (reader, nullptr);
    juce::AudioBuffer<float> audio (1, (int) reader->lengthInSamples);
    reader->read (&audio, 0, audio.getNumSamples(), 0, true, true);

    juce::MemoryBlock again;
    {
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (new juce::MemoryOutputStream (again, false), 48000.0, 1, 32, {}, 0));
        writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
    }
    EXPECT_EQ (load ("plain-eq.wav"), std::string (static_cast<const char*> (again.getData()), again.getSize()));
}

TEST_F (Metadata, AnRf64InputKeepsItsChunksInASmallRiffOutput)
{
    auto chunks = recorderChunks (1, 2000, 32, true);
    chunks.erase (chunks.begin());   // an RF64 file has ds64 first, no JUNK
    write ("take.wav", waveFile (chunks, true));

    const auto [status, text] = render ("take.wav", "take-eq.wav");
    ASSERT_EQ (status, 0) << text;

    const auto parsed = parse (load ("take-eq.wav"));
    ASSERT_TRUE (parsed.wellFormed);
    EXPECT_EQ (parsed.tag, "RIFF");
    juce::StringArray ids;
    for (const auto& c : parsed.chunks)
        ids.add (c.id);
    EXPECT_EQ (ids.joinIntoString (","), "JUNK,bext,fmt ,iXML,cue ,LIST,smpl,Xtr1,data,LIST,zzzz");
    EXPECT_EQ (chunkOf (parsed.chunks, "data").body.size(), 2000u * 4u);
    EXPECT_EQ (chunkOf (parsed.chunks, "iXML"), chunkOf (chunks, "iXML"));
}

TEST_F (Metadata, ADamagedInputKeepsTheChunksBeforeTheDamage)
{
    // An iXML chunk after the audio whose size runs past the end of the file
    // (a recording cut while its metadata was written).
    auto chunks = recorderChunks (1, 3000, 16, false);
    auto file = waveFile (chunks);
    file += "iXML";
    put32 (file, 5000);
    file += "<BWFXML>";
    write ("cut.wav", file);

    const auto [status, text] = render ("cut.wav", "cut-eq.wav");
    ASSERT_EQ (status, 0) << text;
    EXPECT_TRUE (text.contains ("warning: '") && text.contains ("is damaged: chunk 'iXML' at byte") && text.contains ("runs past the end"))
        << text;

    const auto parsed = parse (load ("cut-eq.wav"));
    ASSERT_TRUE (parsed.wellFormed);
    EXPECT_EQ (parsed.chunks.back(), chunks.back()) << "the intact chunks before the damage are kept";
    EXPECT_EQ (files(), juce::StringArray ({ "cut-eq.wav", "cut.wav" })) << "no stray file";
}

//==============================================================================
TEST (WavChunkReader, LeavesOutBookkeepingAndStopsAtDamage)
{
    const auto fmt = RawChunk { "fmt ", fmtChunk (1, 16, false) };
    const auto data = RawChunk { "data", samples (1, 10, 16, false) };
    const auto text = RawChunk { "LIST", std::string ("INFOICMT\x03\0\0\0hi\0", 15) };

    struct Case
    {
        const char* name;
        std::string file;
        const char* ids;      // the chunks kept, in order
        const char* damage;   // part of the message, or "" for none
    };

    // Bytes after the chunks, inside the size the file declares or not.
    auto withTail = [&] (std::string tail, bool declared = false) {
        auto file = waveFile ({ fmt, data, text }) + tail;
        if (declared)
            for (int i = 0; i < 4; ++i)
                file[4 + (size_t) i] = (char) ((file.size() - 8) >> (8 * i));
        return file;
    };
    std::string huge = "huge";
    put32 (huge, WavChunks::maxChunkBytes + 2);
    huge += std::string (WavChunks::maxChunkBytes + 2, 'x');
    std::string past = "pAst";
    put32 (past, 100);
    past += "short";

    const Case cases[] {
        { "bookkeeping", waveFile ({ { "JUNK", std::string (28, '\0') }, fmt, { "fact", std::string ("\x0a\0\0\0", 4) }, text, { "JUNK", "pad!" }, data }),
          "fmt ,LIST,JUNK,data", "" },
        { "fmt after the audio", waveFile ({ text, data, fmt }), "LIST,fmt ,data", "" },
        { "a second fmt and data", waveFile ({ fmt, data, fmt, data, text }), "fmt ,data,LIST", "" },
        { "runs past the end", withTail (past), "fmt ,data,LIST", "chunk 'pAst' at byte" },
        { "larger than metadata", withTail (huge), "fmt ,data,LIST", "more than any metadata" },
        { "not a chunk", withTail (std::string ("\x01\x02\x03\x04\x05\x06\x07\x08", 8), true), "fmt ,data,LIST", "is not a chunk" },
        { "leftovers after the file's end", withTail (std::string ("\x01\x02\x03\x04\x05\x06\x07\x08", 8)), "fmt ,data,LIST", "" },
        { "a stray byte at the end", withTail ("\0"), "fmt ,data,LIST", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        juce::MemoryInputStream in (c.file.data(), c.file.size(), false);
        const auto list = WavChunks::read (in, (juce::int64) c.file.size());
        juce::StringArray ids;
        for (const auto& chunk : list.chunks)
            ids.add (juce::String (chunk.id, 4));
        EXPECT_EQ (ids.joinIntoString (","), c.ids);
        if (*c.damage == 0)
            EXPECT_TRUE (list.damage.isEmpty()) << list.damage;
        else
            EXPECT_TRUE (list.damage.contains (c.damage)) << list.damage;
    }

    // What is kept is kept byte for byte, and the audio's size comes from ds64 in RF64.
    const auto rf64 = waveFile ({ fmt, data, text }, true);
    juce::MemoryInputStream in (rf64.data(), rf64.size(), false);
    const auto list = WavChunks::read (in, (juce::int64) rf64.size());
    ASSERT_EQ (list.chunks.size(), 3u);
    EXPECT_EQ (std::string (static_cast<const char*> (list.chunks[2].body.getData()), list.chunks[2].body.getSize()), text.body);
}

TEST (WavChunkWriter, SizeFieldsAreRightEitherSideOfTheRiffLimit)
{
    // A list as read from a take: bext before fmt, an odd-sized chunk after the audio.
    WavChunks::ChunkList list;
    for (const auto& [id, size] : { std::pair<const char*, size_t> { "bext", 603 }, { "fmt ", 0 }, { "data", 0 }, { "LIST", 9 } })
    {
        WavChunks::Chunk chunk;
        std::memcpy (chunk.id, id, 4);
        chunk.body.setSize (size, true);
        list.chunks.push_back (std::move (chunk));
    }

    constexpr juce::uint64 limit = 0x100000000ull;
    struct Case
    {
        const char* name;
        size_t fmtBytes;
        juce::uint64 dataBytes;   // chosen from the file size wanted
        bool rf64;
    };

    const auto trailer = [&] (juce::uint64 dataBytes) { return WavChunks::trailer (list, dataBytes).getSize(); };
    const auto header = [&] (size_t fmtBytes) { return WavChunks::headerBytes (list, fmtBytes); };
    const auto dataFor = [&] (juce::uint64 fileSize, size_t fmtBytes) { return fileSize - header (fmtBytes) - trailer (0); };

    const Case cases[] {
        { "small", 16, 96000, false },
        { "odd audio", 16, 96001, false },
        { "largest RIFF", 16, dataFor (limit - 2, 16), false },
        { "largest RIFF, extensible fmt", 40, dataFor (limit - 2, 40), false },
        { "exactly 4 GiB", 16, dataFor (limit, 16), true },
        { "audio just under 4 GiB", 16, 0xffffffffull - 40, true },
        { "audio of exactly 4 GiB", 40, limit, true },
        { "six hours of 8 channels", 16, 6ull * 3600 * 48000 * 8 * 3, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        juce::MemoryBlock fmt (c.fmtBytes, true);
        fmt[12] = 4;   // block align
        const auto tail = WavChunks::trailer (list, c.dataBytes);
        const auto headBlock = WavChunks::header (list, fmt, c.dataBytes, tail.getSize());
        const std::string head (static_cast<const char*> (headBlock.getData()), headBlock.getSize());
        const auto fileSize = head.size() + c.dataBytes + tail.getSize();

        ASSERT_EQ (head.size(), header (c.fmtBytes));
        EXPECT_EQ (fileSize % 2, 0u);
        EXPECT_EQ (tail.getSize(), (c.dataBytes & 1) + 8 + 10) << "the audio's pad byte, then LIST padded";
        EXPECT_EQ (head.substr (0, 4), c.rf64 ? "RF64" : "RIFF");
        EXPECT_EQ (c.rf64, fileSize >= limit);

        // The whole header, walked as a reader does, ends at the audio.
        size_t pos = 12;
        juce::uint64 ds64Riff = 0, ds64Data = 0, ds64Frames = 0;
        juce::StringArray ids;
        while (pos + 8 <= head.size())
        {
            const auto id = head.substr (pos, 4);
            const auto size = get32 (head, pos + 4);
            ids.add (id);
            if (id == "ds64")
            {
                ds64Riff = get64 (head, pos + 8);
                ds64Data = get64 (head, pos + 16);
                ds64Frames = get64 (head, pos + 24);
            }
            if (id == "data")
            {
                EXPECT_EQ (pos + 8, head.size());
                EXPECT_EQ (size, c.rf64 ? 0xffffffffu : (juce::uint32) c.dataBytes);
            }
            pos += 8 + size + (size & 1);
        }

        if (c.rf64)
        {
            EXPECT_EQ (get32 (head, 4), 0xffffffffu);
            EXPECT_EQ (ids.joinIntoString (","), c.fmtBytes == 16 ? "ds64,JUNK,bext,fmt ,data" : "ds64,bext,fmt ,data");
            EXPECT_EQ (ds64Riff, fileSize - 8);
            EXPECT_EQ (ds64Data, c.dataBytes);
            EXPECT_EQ (ds64Frames, c.dataBytes / 4);
        }
        else
        {
            EXPECT_EQ (get32 (head, 4), fileSize - 8);
            EXPECT_EQ (ids.joinIntoString (","), "JUNK,bext,fmt ,data");
        }
    }
}

//==============================================================================
namespace
{
    /** A mono sine as the framework's writer for this format encodes it. */
    std::string encodedSine (juce::AudioFormat& format, double rate, int bits, int frames)
    {
        juce::MemoryBlock encoded;
        {
            std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (new juce::MemoryOutputStream (encoded, false), rate, 1, bits, {}, 0));
            if (writer == nullptr)
                return {};
            juce::AudioBuffer<float> audio (1, frames);
            for (int i = 0; i < frames; ++i)
                audio.setSample (0, i, 0.5f * std::sin (0.01f * (float) i));
            writer->writeFromAudioSampleBuffer (audio, 0, frames);
        }
        return { static_cast<const char*> (encoded.getData()), encoded.getSize() };
    }

    struct FlacBlock
    {
        int type;
        std::string body;

        bool operator== (const FlacBlock& other) const { return type == other.type && body == other.body; }
    };

    std::ostream& operator<< (std::ostream& os, const FlacBlock& b) { return os << "type " << b.type << " (" << b.body.size() << " bytes)"; }

    void putBig24 (std::string& s, size_t v)
    {
        for (int i = 2; i >= 0; --i)
            s += (char) (v >> (8 * i));
    }
    void putBig32 (std::string& s, size_t v)
    {
        for (int i = 3; i >= 0; --i)
            s += (char) (v >> (8 * i));
    }

    /** A FLAC file's metadata blocks, with which ones claim to be last, and
        the offset of its first frame. */
    struct FlacLayout
    {
        std::vector<FlacBlock> blocks;
        std::vector<bool> lastFlags;
        size_t framesAt = 0;
    };

    FlacLayout flacLayout (const std::string& file)
    {
        FlacLayout layout;
        if (file.compare (0, 4, "fLaC") != 0)
            return layout;

        for (size_t at = 4; at + 4 <= file.size();)
        {
            const auto type = (unsigned char) file[at] & 0x7f;
            const auto last = ((unsigned char) file[at] & 0x80) != 0;
            const auto size = ((size_t) (unsigned char) file[at + 1] << 16) | ((size_t) (unsigned char) file[at + 2] << 8)
                | (size_t) (unsigned char) file[at + 3];
            layout.blocks.push_back ({ type, file.substr (at + 4, size) });
            layout.lastFlags.push_back (last);
            at += 4 + size;
            if (last)
            {
                layout.framesAt = at;
                break;
            }
        }
        return layout;
    }

    /** The file as the framework's encoder writes it, with these blocks in
        place of its own after the stream information. */
    std::string flacWith (const std::string& encoded, const std::vector<FlacBlock>& blocks, const std::string& prefix = {})
    {
        const auto layout = flacLayout (encoded);
        std::string file = prefix + "fLaC";
        std::vector<FlacBlock> all { layout.blocks.front() };
        all.insert (all.end(), blocks.begin(), blocks.end());
        for (size_t i = 0; i < all.size(); ++i)
        {
            file += (char) (all[i].type | (i + 1 == all.size() ? 0x80 : 0));
            putBig24 (file, all[i].body.size());
            file += all[i].body;
        }
        return file + encoded.substr (layout.framesAt);
    }

    std::string vorbisComments (const std::string& vendor, const std::vector<std::string>& comments)
    {
        auto little32 = [] (std::string& s, size_t v) { for (int i = 0; i < 4; ++i) s += (char) (v >> (8 * i)); };
        std::string body;
        little32 (body, vendor.size());
        body += vendor;
        little32 (body, comments.size());
        for (const auto& c : comments)
        {
            little32 (body, c.size());
            body += c;
        }
        return body;
    }

    std::string picture()
    {
        std::string body;
        putBig32 (body, 3);   // front cover
        const std::string mime = "image/png", description = "the dish at dawn", data = "\x89PNG\r\n\x1a\n not really";
        putBig32 (body, mime.size());
        body += mime;
        putBig32 (body, description.size());
        body += description;
        for (auto v : { 16, 16, 24, 0 })   // width, height, depth, colours
            putBig32 (body, (size_t) v);
        putBig32 (body, data.size());
        return body + data;
    }
}

// A FLAC recording's comments, pictures, application data and blocks of
// types defined later reach a FLAC result byte for byte and in their order;
// the seek table and padding, which describe the old frames, do not. Where
// the recording has no comments the encoder's own block stays. The result
// decodes to the same number of frames, and the reference decoder accepts
// it (its MD5 of the audio included).
TEST_F (Metadata, FlacRecordingsKeepTheirCommentsAndPictures)
{
    constexpr int frames = 20000;
    juce::FlacAudioFormat flacFormat;
    const auto encoded = encodedSine (flacFormat, 48000.0, 24, frames);
    const auto encoderComments = flacLayout (encoded).blocks.at (1);
    ASSERT_EQ (encoderComments.type, 4);

    const FlacBlock comments { 4, vorbisComments ("field recorder 2.1", { "TITLE=Blackbird", "COMMENT=dawn chorus\nsecond line, \xc3\xbc"
                                                                                             "ber",
                                                                          "TAKE=7" }) };
    // Loudness tags describe the recording before it was equalised: a
    // player would set a wrong level from them. They go; the rest stays.
    const FlacBlock commentsWithLoudness { 4, vorbisComments ("field recorder 2.1", { "TITLE=Blackbird", "REPLAYGAIN_TRACK_GAIN=-0.73 dB", "COMMENT=dawn chorus\nsecond line, \xc3\xbc"
                                                                                                                                           "ber",
                                                                                      "replaygain_track_peak=0.20", "R128_TRACK_GAIN=-512", "TAKE=7" }) };
    const FlacBlock application { 2, "TsEQsome application data" };
    const FlacBlock cover { 6, picture() };
    const FlacBlock future { 9, "a block of a later kind" };
    const FlacBlock seekTable { 3, std::string (18, '\0') };
    const FlacBlock padding { 1, std::string (1000, '\0') };

    std::string id3 ("ID3\x03\x00\x00", 6);       // version 2.3, no flags
    id3 += std::string ("\x00\x00\x00\x0a", 4);   // ten bytes of tag, as seven-bit bytes
    id3 += std::string (10, 'x');

    struct Case
    {
        const char* name;
        std::vector<FlacBlock> input, kept;
        std::string prefix;
    };

    // clang-format off
    const Case cases[] {
        { "all kinds",            { seekTable, comments, application, padding, cover, future }, { comments, application, cover, future }, {} },
        { "comments last",        { cover, comments },                                           { cover, comments }, {} },
        { "no comments",          { padding, cover },                                            { encoderComments, cover }, {} },
        { "behind an ID3v2 tag",  { comments },                                                  { comments }, id3 },
        { "loudness tags",        { commentsWithLoudness, cover },                               { comments, cover }, {} },
    };
    // clang-format on

    const bool haveFlacTool = juce::File ("/usr/bin/flac").existsAsFile();
    EXPECT_TRUE (haveFlacTool) << "the reference decoder 'flac' is missing: scripts/install-deps.sh test installs it";

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        write ("take.flac", flacWith (encoded, c.input, c.prefix));

        const auto [status, text] = render ("take.flac", "take-eq.flac");
        ASSERT_EQ (status, 0) << text;

        const auto layout = flacLayout (load ("take-eq.flac"));
        ASSERT_FALSE (layout.blocks.empty());
        EXPECT_EQ (layout.blocks.front().type, 0);
        EXPECT_EQ (std::vector<FlacBlock> (layout.blocks.begin() + 1, layout.blocks.end()), c.kept);
        EXPECT_EQ (std::count (layout.lastFlags.begin(), layout.lastFlags.end(), true), 1);
        EXPECT_TRUE (layout.lastFlags.back());

        juce::FlacAudioFormat flac;
        std::unique_ptr<juce::AudioFormatReader> reader (flac.createReaderFor (dir.getChildFile ("take-eq.flac").createInputStream().release(), true));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->lengthInSamples, frames);

        if (haveFlacTool)
        {
            juce::ChildProcess test;
            ASSERT_TRUE (test.start (juce::StringArray { "/usr/bin/flac", "--test", "--silent", dir.getChildFile ("take-eq.flac").getFullPathName() }));
            const auto said = test.readAllProcessOutput();
            test.waitForProcessToFinish (60000);
            EXPECT_EQ (test.getExitCode(), 0u) << said;
        }
    }

    // With nothing to keep, the result is the encoder's own file.
    write ("plain.flac", encoded);
    ASSERT_EQ (render ("plain.flac", "plain-eq.flac").first, 0);
    const auto plain = flacLayout (load ("plain-eq.flac"));
    EXPECT_EQ (plain.blocks.size(), 2u);
    EXPECT_EQ (plain.blocks.at (1), encoderComments);
}

//==============================================================================
namespace
{
    /** The chunks of an AIFF file as stored (ids and bodies), and its FORM size. */
    struct AiffLayout
    {
        std::vector<RawChunk> chunks;
        juce::uint32 formSize = 0;
    };

    AiffLayout aiffLayout (const std::string& file)
    {
        AiffLayout layout;
        if (file.size() < 12 || file.compare (0, 4, "FORM") != 0)
            return layout;
        layout.formSize = juce::ByteOrder::bigEndianInt (file.data() + 4);
        for (size_t at = 12; at + 8 <= file.size();)
        {
            const auto size = (size_t) juce::ByteOrder::bigEndianInt (file.data() + at + 4);
            layout.chunks.push_back ({ file.substr (at, 4), file.substr (at + 8, size) });
            at += 8 + size + (size & 1);
        }
        return layout;
    }

    std::string aiffFile (const std::vector<RawChunk>& chunks)
    {
        std::string body = "AIFF";
        for (const auto& c : chunks)
        {
            body += c.id;
            putBig32 (body, c.body.size());
            body += c.body;
            if (c.body.size() % 2 != 0)
                body += '\0';
        }
        std::string file = "FORM";
        putBig32 (file, body.size());
        return file + body;
    }
}

// An AIFF recording's markers, comments, instrument data, texts,
// application chunks and unknown chunks reach an AIFF result byte for byte
// and in their order (after the sound, which the format allows), with a
// FORM size that covers them; the result still reads as the same audio.
// Odd but intact files keep them too; a damaged chunk list keeps what the
// framework reads (the markers), with a warning.
TEST_F (Metadata, AiffRecordingsKeepTheirChunks)
{
    constexpr int frames = 3001;   // odd: the sound data needs its pad byte
    juce::AiffAudioFormat aiffFormat;
    const auto plain = aiffLayout (encodedSine (aiffFormat, 44100.0, 8, frames));
    const auto comm = chunkOf (plain.chunks, "COMM"), ssnd = chunkOf (plain.chunks, "SSND");
    ASSERT_FALSE (ssnd.body.empty());

    std::string markers;
    markers += std::string ("\x00\x02", 2);
    for (int id = 1; id <= 2; ++id)
    {
        markers += std::string ("\x00", 1) + (char) id;
        putBig32 (markers, (size_t) id * 1000);
        const std::string name = id == 1 ? "wren" : "heron";
        markers += (char) name.size();
        markers += name;
        if ((name.size() + 1) % 2 != 0)
            markers += '\0';
    }

    const std::vector<RawChunk> before {
        { "NAME", "Dawn at the reed bed" },
        { "AUTH", "A. Recordist" },
        { "(c) ", "2026" },
        { "MARK", markers },
        { "ANNO", "wind from the north" },
        { "APPL", "TsEQ odd" },
    };
    const std::vector<RawChunk> after {
        { "ANNO", "second note" },
        { "Xyzw", std::string ("\x01\x02\x03", 3) },
    };

    std::vector<RawChunk> input { comm };
    input.insert (input.end(), before.begin(), before.end());
    input.push_back (ssnd);
    input.insert (input.end(), after.begin(), after.end());
    const auto whole = aiffFile (input);

    std::vector<RawChunk> keptAll = before;
    keptAll.insert (keptAll.end(), after.begin(), after.end());

    // A FORM size that ends inside the sound data, as a recorder that
    // stopped before fixing its header leaves it.
    auto shortForm = whole;
    shortForm.replace (4, 4, [] { std::string s; putBig32 (s, 400); return s; }());

    // A FORM that ends in zero padding.
    auto padded = whole + std::string (16, '\0');
    padded.replace (4, 4, [&] { std::string s; putBig32 (s, padded.size() - 8); return s; }());

    // An ID3v1 tag a tagger appended after the FORM: "TAG", then a title
    // that reads like a chunk id and a size far past the end of the file.
    const auto tagged = whole + "TAGSunrise at the dish" + std::string (106, ' ');

    // Bytes that are not a chunk in the middle of the FORM: the list is not
    // copied, and the framework keeps what it reads (the markers).
    auto damagedInput = input;
    damagedInput.insert (damagedInput.begin() + 3, RawChunk { "\x01\x02\x03\x04", "????" });
    const std::vector<RawChunk> frameworkMarkers { { "MARK", {} } };

    auto withLarge = input;
    withLarge.insert (withLarge.begin() + 2, RawChunk { "ID3 ", std::string ((16u << 20) + 2, 'i') });

    struct Case
    {
        const char* name;
        std::string file;
        std::vector<RawChunk> kept;   // a MARK without body: the framework's own
        const char* warning;
    };
    const Case cases[] {
        { "chunks before and after the sound", whole, keptAll, nullptr },
        { "FORM size too small", shortForm, keptAll, nullptr },
        { "zero padding in the FORM", padded, keptAll, nullptr },
        { "a tag after the FORM", tagged, keptAll, nullptr },
        { "a chunk larger than any metadata", aiffFile (withLarge), keptAll, "chunk 'ID3 ' at byte" },
        { "bytes that are not a chunk", aiffFile (damagedInput), frameworkMarkers, "is damaged" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        write ("take.aiff", c.file);

        const auto [status, text] = render ("take.aiff", "take-eq.aiff");
        ASSERT_EQ (status, 0) << text;
        if (c.warning != nullptr)
            EXPECT_TRUE (text.contains (c.warning)) << text;
        else
            EXPECT_FALSE (text.contains ("warning")) << text;

        const auto file = load ("take-eq.aiff");
        const auto layout = aiffLayout (file);
        EXPECT_EQ (layout.formSize, file.size() - 8);
        // An odd number of sound bytes: the pad byte is not part of the size.
        EXPECT_EQ (chunkOf (layout.chunks, "SSND").body.size(), 8u + frames);

        std::vector<RawChunk> kept;
        for (const auto& chunk : layout.chunks)
            if (chunk.id != "COMM" && chunk.id != "SSND")
                kept.push_back (c.kept == frameworkMarkers ? RawChunk { chunk.id, {} } : chunk);
        EXPECT_EQ (kept, c.kept);

        juce::AiffAudioFormat aiff;
        std::unique_ptr<juce::AudioFormatReader> reader (aiff.createReaderFor (dir.getChildFile ("take-eq.aiff").createInputStream().release(), true));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->lengthInSamples, frames);
        EXPECT_EQ (reader->metadataValues["NumCuePoints"], "2");
        EXPECT_EQ (reader->metadataValues["CueLabel1Text"], "heron");
    }
}
