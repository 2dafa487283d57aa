#include "AaxEffectDescription.h"
#include "processor/TessaroAudioProcessor.h"

#include <TessaroIdentity.h>

#include <algorithm>

namespace tessaro::aax
{
    namespace
    {
        std::uint32_t codeOf (const char* text)
        {
            char code[5] {};
            std::copy_n (text, 4, code);
            return fourCC (code);
        }
    }

    std::vector<std::pair<StemFormat, StemFormat>> AaxEffectDescription::supportedStemPairs (const std::function<bool (StemFormat)>& hostSupports)
    {
        constexpr short preferred[][2] { JucePlugin_PreferredChannelConfigurations };
        std::vector<std::pair<StemFormat, StemFormat>> pairs;

        for (auto input : allStemFormats)
            for (auto output : allStemFormats)
            {
                if (! hostSupports (input) || ! hostSupports (output))
                    continue;

                const auto matches = std::any_of (std::begin (preferred), std::end (preferred), [&] (const short (&config)[2])
                {
                    return config[0] == channelCount (input) && config[1] == channelCount (output);
                });

                if (matches)
                    pairs.emplace_back (input, output);
            }

        return pairs;
    }

    std::uint32_t AaxEffectDescription::pluginIdFor (std::uint32_t baseCode, StemFormat input, StemFormat output) noexcept
    {
        return baseCode + (std::uint32_t) ((int) input * 256 + (int) output);
    }

    Result AaxEffectDescription::describe (Collection& collection, const std::function<bool (StemFormat)>& hostSupports)
    {
        auto* descriptor = collection.newDescriptor();

        if (descriptor == nullptr)
            return errorNullObject;

        // A temporary processor supplies the names; duplicates go.
        const std::unique_ptr<juce::AudioProcessor> processor (createPluginFilter());
        std::vector<std::string> names { identity::productName, JucePlugin_Desc };
        for (const auto& alternative : processor->getAlternateDisplayNames())
            names.push_back (alternative.toStdString());

        std::vector<std::string> unique;
        for (const auto& name : names)
            if (std::find (unique.begin(), unique.end(), name) == unique.end())
                unique.push_back (name);

        for (const auto& name : unique)
            descriptor->addName (name);

        descriptor->addCategory (0);

        // No parameter is a meter, so no meter is declared, and no page table.
        descriptor->addProcedure (Procedure::guiCreation);
        descriptor->addProcedure (Procedure::parameterCreation);

        for (const auto& [input, output] : supportedStemPairs (hostSupports))
        {
            auto* component = descriptor->newComponentDescriptor();
            if (component == nullptr)
                return errorNullObject;

            component->addProperty (Property::manufacturerId, codeOf (identity::manufacturerCode));
            component->addProperty (Property::productId, codeOf (identity::pluginCode));
            component->addProperty (Property::canBypass, 1);
            component->addProperty (Property::inputStemFormat, (int) input);
            component->addProperty (Property::outputStemFormat, (int) output);
            component->addProperty (Property::nativePluginId, pluginIdFor (fourCC ("jcaa"), input, output));
            component->addProperty (Property::audioSuitePluginId, pluginIdFor (fourCC ("jyaa"), input, output));
            component->addProperty (Property::supportsMultiMono, 1);
            descriptor->addComponent (*component);
        }

        collection.addEffect (identity::bundleIdentifier, *descriptor);
        collection.setManufacturerName (identity::manufacturerName);
        collection.addPackageName (JucePlugin_Desc);
        collection.addPackageName (identity::productName);
        collection.setPackageVersion ((std::uint32_t) identity::versionCode);
        return success;
    }
}
