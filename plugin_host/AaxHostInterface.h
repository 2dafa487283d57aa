#pragma once

// What an AAX host sees of the plug-in, as our own small interface.
//
// The AAX SDK is not available on the build machines, so the plug-in's AAX
// behaviour (entry points, effect description, parameter publication, state
// chunks) is written against these interfaces instead and tested with a fake
// host. On Windows, with an AAX SDK path given to CMake, JUCE's own AAX
// wrapper is built with the same identity; nothing here is linked into it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaro::aax
{
    using Result = std::int32_t;

    constexpr Result success = 0;
    constexpr Result errorNullObject = -20004;
    constexpr Result errorUnimplemented = -20009;
    constexpr Result errorUnexpectedFailure = -20099;   // anything thrown inside an entry point

    /** A four-character code, first character in the top byte. */
    constexpr std::uint32_t fourCC (const char (&code)[5]) noexcept
    {
        return ((std::uint32_t) (unsigned char) code[0] << 24) | ((std::uint32_t) (unsigned char) code[1] << 16)
            | ((std::uint32_t) (unsigned char) code[2] << 8) | (std::uint32_t) (unsigned char) code[3];
    }

    /** Channel formats in the order the wrapper tries them; the index enters the plug-in ids. */
    enum class StemFormat : int
    {
        none = 0,
        mono,
        stereo,
        lcr,
        quad,
        surround50,
        surround51,
        surround71
    };

    constexpr int channelCount (StemFormat f) noexcept
    {
        constexpr int counts[] { 0, 1, 2, 3, 4, 5, 6, 8 };
        return counts[(int) f];
    }

    constexpr StemFormat allStemFormats[] { StemFormat::none, StemFormat::mono, StemFormat::stereo, StemFormat::lcr,
                                            StemFormat::quad, StemFormat::surround50, StemFormat::surround51,
                                            StemFormat::surround71 };

    enum class Property
    {
        manufacturerId,
        productId,
        canBypass,
        inputStemFormat,
        outputStemFormat,
        nativePluginId,
        audioSuitePluginId,
        supportsMultiMono
    };

    enum class Procedure
    {
        guiCreation,
        parameterCreation
    };

    /** One component of an effect: one channel configuration. */
    struct ComponentDescriptor
    {
        virtual ~ComponentDescriptor() = default;
        virtual Result addProperty (Property property, std::int64_t value) = 0;
    };

    struct EffectDescriptor
    {
        virtual ~EffectDescriptor() = default;
        virtual Result addName (const std::string& name) = 0;
        virtual Result addCategory (std::uint32_t categoryBits) = 0;
        virtual Result addMeter (std::uint32_t meterId, const std::string& name) = 0;
        virtual Result addProcedure (Procedure kind) = 0;
        virtual ComponentDescriptor* newComponentDescriptor() = 0;   // owned by the descriptor
        virtual Result addComponent (ComponentDescriptor& component) = 0;
    };

    /** The host's collection object that ACFRegisterPlugin fills. */
    struct Collection
    {
        virtual ~Collection() = default;
        virtual EffectDescriptor* newDescriptor() = 0;   // owned by the collection; may be null
        virtual Result addEffect (const std::string& identifier, EffectDescriptor& descriptor) = 0;
        virtual Result setManufacturerName (const std::string& name) = 0;
        virtual Result addPackageName (const std::string& name) = 0;
        virtual Result setPackageVersion (std::uint32_t version) = 0;
    };

    /** A published parameter, as the host's automation system holds it. */
    struct ParameterInfo
    {
        std::string identifier;
        std::string name;        // at most 31 characters
        std::string shortName;   // at most 4 characters
        double normalisedDefault = 0.0;
        bool automatable = true;
        int numberOfSteps = 0;   // at most 2048
        bool discrete = false;
        std::function<std::string (double normalised)> valueToText;
        std::function<double (const std::string&)> textToValue;   // normalised
    };

    /** What the host offers an effect instance when it initialises it. */
    struct HostContext
    {
        virtual ~HostContext() = default;
        virtual double sampleRate() const = 0;
        virtual int maximumBlockSize() const = 0;
        virtual bool supportsStemFormat (StemFormat format) const = 0;
        virtual void setLatency (int samples) = 0;
        virtual void addParameter (const ParameterInfo& parameter) = 0;
        virtual void parameterValueChanged (const std::string& identifier, double normalised) = 0;
    };

    /** Services the host hands to ACFStartup. */
    struct HostServices
    {
        virtual ~HostServices() = default;
    };
}
