#include "render/FlacFrames.h"

#include <algorithm>
#include <vector>

namespace FlacFrames
{
    namespace
    {
        juce::uint8 crc8 (const juce::uint8* data, size_t size) noexcept
        {
            juce::uint8 crc = 0;
            for (size_t i = 0; i < size; ++i)
            {
                crc ^= data[i];
                for (int bit = 0; bit < 8; ++bit)
                    crc = (juce::uint8) ((crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1);
            }
            return crc;
        }

        juce::uint16 crc16 (juce::uint16 crc, juce::uint8 byte) noexcept
        {
            crc = (juce::uint16) (crc ^ (byte << 8));
            for (int bit = 0; bit < 8; ++bit)
                crc = (juce::uint16) ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x8005 : crc << 1);
            return crc;
        }

        /** Tags that taggers append to FLAC files as they do to MP3s: an
            ID3v1 tag (the last 128 bytes, "TAG"), and before it, or alone,
            an APEv2 tag (its footer, "APETAGEX", gives its size). */
        size_t trailingTagBytes (const juce::uint8* data, size_t size) noexcept
        {
            size_t tags = 0;
            if (size >= 128 && std::memcmp (data + size - 128, "TAG", 3) == 0)
                tags = 128;

            constexpr size_t apeFooter = 32;
            if (size - tags >= apeFooter)
            {
                const auto* footer = data + size - tags - apeFooter;
                if (std::memcmp (footer, "APETAGEX", 8) == 0)
                {
                    // The size counts the items and the footer; a header of
                    // the same size comes first when flag bit 31 is set.
                    auto apeBytes = (size_t) juce::ByteOrder::littleEndianInt (footer + 12);
                    if ((juce::ByteOrder::littleEndianInt (footer + 20) & 0x80000000u) != 0)
                        apeBytes += apeFooter;
                    if (apeBytes >= apeFooter && apeBytes <= size - tags)
                        tags += apeBytes;
                }
            }
            return tags;
        }

        struct Header
        {
            bool variable = false;   // numbered by sample, not by frame
            juce::uint64 number = 0;
            int blockSize = 0;
        };

        /** The frame header at `p`, when it is one: sync code, no reserved
            bit set, the stream's channel count, and a matching CRC-8. */
        std::optional<Header> headerAt (const juce::uint8* p, const juce::uint8* end, int numChannels) noexcept
        {
            if (end - p < 6 || p[0] != 0xff || (p[1] & 0xfe) != 0xf8)
                return {};

            const auto blockCode = p[2] >> 4, rateCode = p[2] & 0x0f;
            const auto channelCode = p[3] >> 4, depthCode = (p[3] >> 1) & 0x07;
            if (blockCode == 0 || rateCode == 0x0f || channelCode > 10 || depthCode == 3 || (p[3] & 1) != 0)
                return {};
            if ((channelCode < 8 ? channelCode + 1 : 2) != numChannels)
                return {};

            Header h;
            h.variable = (p[1] & 1) != 0;

            // The frame or sample number, in the variable-length code UTF-8 uses.
            const juce::uint8* q = p + 4;
            // The first byte's leading ones count the bytes; those after
            // it carry six bits each.
            int extra = 0;
            if (q[0] < 0x80)
                h.number = q[0];
            else if (q[0] >= 0xc0 && q[0] < 0xff)
            {
                while ((q[0] & (0x40 >> extra)) != 0)
                    ++extra;
                h.number = (juce::uint64) (q[0] & (0x3f >> extra));
            }
            else
                return {};

            if (end - q < 1 + extra + 5)   // the block size, the rate, the CRC-8 at most
                return {};
            for (int i = 1; i <= extra; ++i)
            {
                if ((q[i] & 0xc0) != 0x80)
                    return {};
                h.number = (h.number << 6) | (juce::uint64) (q[i] & 0x3f);
            }
            if (! h.variable && extra > 5)
                return {};
            q += 1 + extra;

            if (blockCode == 1)
                h.blockSize = 192;
            else if (blockCode <= 5)
                h.blockSize = 576 << (blockCode - 2);
            else if (blockCode == 6)
                h.blockSize = *q++ + 1;
            else if (blockCode == 7)
            {
                h.blockSize = ((q[0] << 8) | q[1]) + 1;
                q += 2;
            }
            else
                h.blockSize = 256 << (blockCode - 8);

            if (rateCode == 12)
                q += 1;
            else if (rateCode == 13 || rateCode == 14)
                q += 2;

            if (q >= end || crc8 (p, (size_t) (q - p)) != *q)
                return {};
            return h;
        }
    }

    std::optional<LastFrame> findLastFrame (juce::InputStream& in, juce::int64 length, int numChannels)
    {
        // Two frames of the widest stream (65535 samples of eight 32-bit
        // channels, stored verbatim) take about 4 MiB; the tail read grows
        // until it holds the last two headers.
        constexpr juce::int64 firstRead = 256 << 10, largestRead = 8 << 20;
        constexpr size_t largestFrame = 4 << 20;
        // A file made to look like headers everywhere must not make the walk
        // back take long: this many candidates for the last frame are tried.
        constexpr int maxCandidates = 16;
        std::vector<juce::uint8> tail;

        for (auto want = juce::jmin (firstRead, length);; want = juce::jmin (want * 4, length, largestRead))
        {
            tail.resize ((size_t) want);
            if (! in.setPosition (length - want) || in.read (tail.data(), (int) want) != (int) want)
                return {};

            const auto* data = tail.data();
            const auto size = tail.size();
            const auto audioEnd = size - trailingTagBytes (data, size);
            int candidates = 0;

            for (size_t f = audioEnd; f-- > 0 && candidates < maxCandidates;)
            {
                const auto last = headerAt (data + f, data + audioEnd, numChannels);
                if (! last)
                    continue;
                ++candidates;

                // The frame before it must lead here; the first frame of the
                // stream has no frame before it.
                std::optional<Header> before;
                const auto searchFrom = f > largestFrame ? f - largestFrame : 0;
                for (size_t p = f; p-- > searchFrom && ! before;)
                {
                    const auto h = headerAt (data + p, data + f, numChannels);
                    if (h && h->variable == last->variable
                        && (last->variable ? h->number + (juce::uint64) h->blockSize == last->number : h->number + 1 == last->number))
                        before = h;
                }
                if (! before && last->number != 0)
                    continue;

                LastFrame frame;
                frame.numSamples = last->blockSize;
                // In a stream of fixed block size every frame but the last
                // holds that many samples: the one before says how many.
                frame.firstSample = (juce::int64) (last->variable ? last->number
                                                                  : last->number * (juce::uint64) (before ? before->blockSize : 0));

                // Whole when its CRC-16 closes near the end of the audio:
                // right at it, before a few stray bytes or zeros (what some
                // tools leave), or before the first bytes of a header (the
                // file was cut just after the frame). A cut frame whose CRC
                // happens to close that late is taken as whole: that errs
                // by a frame of silence, never by a frame of lost audio
                // in a file that is whole.
                constexpr size_t strayBytes = 64;
                juce::uint16 crc = 0;
                for (size_t i = f; i < audioEnd && ! frame.complete; ++i)
                {
                    crc = crc16 (crc, data[i]);
                    if (crc != 0)
                        continue;

                    const auto* next = data + i + 1;
                    const auto rest = audioEnd - i - 1;
                    frame.complete = rest <= strayBytes || std::all_of (next, next + rest, [] (juce::uint8 b) { return b == 0; })
                        || (rest < 16 && next[0] == 0xff && (rest == 1 || (next[1] & 0xfe) == 0xf8));
                }
                return frame;
            }

            if (want >= length || want >= largestRead)
                return {};
        }
    }

    juce::int64 samplesThere (juce::InputStream& in, juce::int64 length, int numChannels)
    {
        const auto frame = findLastFrame (in, length, numChannels);
        if (! frame)
            return -1;
        return frame->firstSample + (frame->complete ? frame->numSamples : 0);
    }
}
