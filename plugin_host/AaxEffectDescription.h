#pragma once

#include "AaxHostInterface.h"

namespace tessaro::aax
{
    /** Describes TessaroEQ to a host's collection: names, category, the
        creation procedures, one component per channel configuration the
        processor accepts, the identifier and the package. */
    class AaxEffectDescription
    {
    public:
        /** The channel configurations offered: every pair of stem formats
            the host supports whose channel counts are a preferred
            configuration of the processor (one in, one out). */
        static std::vector<std::pair<StemFormat, StemFormat>> supportedStemPairs (const std::function<bool (StemFormat)>& hostSupports);

        /** JUCE's rule for a main-bus pair: base code plus input index x 256 plus output index. */
        static std::uint32_t pluginIdFor (std::uint32_t baseCode, StemFormat input, StemFormat output) noexcept;

        static Result describe (Collection& collection, const std::function<bool (StemFormat)>& hostSupports);

        AaxEffectDescription() = delete;
    };
}
