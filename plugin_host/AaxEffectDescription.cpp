#include "AaxEffectDescription.h"
#include "processor/TessaroAudioProcessor.h"

#include <TessaroIdentity.h>

#include <algorithm>
#include <string_view>

namespace tessaro::aax
{
    namespace
    {
        constexpr std::uint32_t constantCodeOf (std::string_view text) noexcept
        {
            return text.size() != 4 ? 0u
                                    : ((std::uint32_t) (unsigned char) text[0] << 24) | ((std::uint32_t) (unsigned char) text[1] << 16)
                    | ((std::uint32_t) (unsigned char) text[2] << 8) | (std::uint32_t) (unsigned char) text[3];
        }

        // The configuration the build hands the framework's AAX wrapper, used
        // here the way the wrapper uses it: a category name it cannot compile
        // or a code that differs from the identity hosts know fails this
        // build, with or without an AAX SDK.
        constexpr std::uint32_t configuredCategory = JucePlugin_AAXCategory;
        static_assert (configuredCategory == 0, "the effect declares no AAX category bit");
        static_assert (JucePlugin_AAXManufacturerCode == constantCodeOf (identity::manufacturerCode),
                       "AAX manufacturer code differs from the identity");
        static_assert (JucePlugin_AAXProductId == constantCodeOf (identity::pluginCode),
                       "AAX product code differs from the identity");
        static_assert (std::string_view (JUCE_STRINGIFY (JucePlugin_AAXIdentifier)) == identity::bundleIdentifier,
                       "AAX effect identifier differs from the identity");
        static_assert (JucePlugin_AAXDisableBypass == 0 && JucePlugin_AAXDisableMultiMono == 0,
                       "hosts are told the effect can bypass and runs multi-mono");
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

                const auto matches = std::any_of (std::begin (preferred), std::end (preferred), [&] (const short (&config)[2]) {
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

        descriptor->addCategory (configuredCategory);

        // No parameter is a meter, so no meter is declared, and no page table.
        descriptor->addProcedure (Procedure::guiCreation);
        descriptor->addProcedure (Procedure::parameterCreation);

        for (const auto& [input, output] : supportedStemPairs (hostSupports))
        {
            auto* component = descriptor->newComponentDescriptor();
            if (component == nullptr)
                return errorNullObject;

            component->addProperty (Property::manufacturerId, (std::uint32_t) JucePlugin_AAXManufacturerCode);
            component->addProperty (Property::productId, (std::uint32_t) JucePlugin_AAXProductId);
            component->addProperty (Property::canBypass, 1);
            component->addProperty (Property::inputStemFormat, (int) input);
            component->addProperty (Property::outputStemFormat, (int) output);
            component->addProperty (Property::nativePluginId, pluginIdFor (fourCC ("jcaa"), input, output));
            component->addProperty (Property::audioSuitePluginId, pluginIdFor (fourCC ("jyaa"), input, output));
            component->addProperty (Property::supportsMultiMono, 1);
            descriptor->addComponent (*component);
        }

        collection.addEffect (JUCE_STRINGIFY (JucePlugin_AAXIdentifier), *descriptor);
        collection.setManufacturerName (identity::manufacturerName);
        collection.addPackageName (JucePlugin_Desc);
        collection.addPackageName (identity::productName);
        collection.setPackageVersion ((std::uint32_t) identity::versionCode);
        return success;
    }
}
