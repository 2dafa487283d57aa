// The plug-in's AAX behaviour, driven by a fake host of our own.

#include "AaxEffectDescription.h"
#include "AaxEffectInstance.h"
#include "AaxEntryPoints.h"
#include "helpers/ProcessorHelpers.h"

#include <gtest/gtest.h>

using namespace tessaro::aax;

namespace
{
    struct FakeComponent : ComponentDescriptor
    {
        Result addProperty (Property p, std::int64_t v) override
        {
            properties[p] = v;
            return success;
        }
        std::map<Property, std::int64_t> properties;
    };

    struct FakeDescriptor : EffectDescriptor
    {
        Result addName (const std::string& n) override
        {
            names.push_back (n);
            return success;
        }
        Result addCategory (std::uint32_t c) override
        {
            categories.push_back (c);
            return success;
        }
        Result addMeter (std::uint32_t, const std::string&) override
        {
            ++meters;
            return success;
        }
        Result addProcedure (Procedure p) override
        {
            procedures.push_back (p);
            return success;
        }
        ComponentDescriptor* newComponentDescriptor() override
        {
            made.push_back (std::make_unique<FakeComponent>());
            return made.back().get();
        }
        Result addComponent (ComponentDescriptor& c) override
        {
            components.push_back (static_cast<FakeComponent*> (&c));
            return success;
        }

        std::vector<std::string> names;
        std::vector<std::uint32_t> categories;
        int meters = 0;
        std::vector<Procedure> procedures;
        std::vector<std::unique_ptr<FakeComponent>> made;
        std::vector<FakeComponent*> components;
    };

    struct FakeCollection : Collection
    {
        EffectDescriptor* newDescriptor() override
        {
            if (! givesDescriptor)
                return nullptr;
            descriptor = std::make_unique<FakeDescriptor>();
            return descriptor.get();
        }
        Result addEffect (const std::string& id, EffectDescriptor&) override
        {
            effects.push_back (id);
            return success;
        }
        Result setManufacturerName (const std::string& n) override
        {
            manufacturer = n;
            return success;
        }
        Result addPackageName (const std::string& n) override
        {
            packageNames.push_back (n);
            return success;
        }
        Result setPackageVersion (std::uint32_t v) override
        {
            packageVersion = v;
            return success;
        }

        bool givesDescriptor = true;
        std::unique_ptr<FakeDescriptor> descriptor;
        std::vector<std::string> effects, packageNames;
        std::string manufacturer;
        std::uint32_t packageVersion = 0;
    };

    /** A host session: stores published parameters and the values it was told. */
    struct FakeHost : HostContext
    {
        double sampleRate() const override { return 96000.0; }
        int maximumBlockSize() const override { return 256; }
        bool supportsStemFormat (StemFormat) const override { return true; }
        void setLatency (int samples) override { latency = samples; }
        void addParameter (const ParameterInfo& info) override
        {
            // The processor is prepared before the first parameter is published.
            if (auto* p = dynamic_cast<TessaroAudioProcessor*> (instance != nullptr ? &instance->processor() : nullptr))
                preparedWhenPublished.push_back (p->getDesign().sampleRate == 96000.0f && p->getDesign().outputGain == 1.0f);
            parameters.push_back (info);
        }
        void parameterValueChanged (const std::string& id, double v) override { values[id] = v; }

        AaxEffectInstance* instance = nullptr;
        int latency = -1;
        std::vector<ParameterInfo> parameters;
        std::vector<bool> preparedWhenPublished;
        std::map<std::string, double> values;
    };

    bool allFormats (StemFormat) { return true; }
}

TEST (AaxEntryPoints, ResultsAndErrorCodes)
{
    void* out = reinterpret_cast<void*> (0x1);
    EXPECT_EQ (ACFRegisterComponent (&out), success);
    EXPECT_EQ (out, nullptr);

    out = reinterpret_cast<void*> (0x1);
    EXPECT_EQ (ACFGetClassFactory (&out), errorUnimplemented);
    EXPECT_EQ (errorUnimplemented, -20009);
    EXPECT_EQ (out, nullptr);

    std::uint64_t version = 0;
    EXPECT_EQ (ACFGetSDKVersion (&version), success);
    EXPECT_EQ (version >> 32, 0x0203u);
    EXPECT_EQ (version & 0xffffffffu, 14017972u);
    EXPECT_EQ (ACFGetSDKVersion (nullptr), errorNullObject);

    struct Services : HostServices
    {
    } first, second;
    EXPECT_EQ (ACFStartup (&first), success);
    EXPECT_EQ (ACFStartup (&second), success);   // wrapped once
    EXPECT_EQ (currentHostServices(), &first);
    EXPECT_EQ (ACFShutdown(), success);
    EXPECT_EQ (currentHostServices(), nullptr);

    EXPECT_EQ (ACFCanUnloadNow(), 0);
    {
        AaxEffectInstance instance;
        EXPECT_EQ (ACFCanUnloadNow(), 1);
    }
    EXPECT_EQ (ACFCanUnloadNow(), 0);

    FakeCollection noDescriptor;
    noDescriptor.givesDescriptor = false;
    EXPECT_EQ (ACFRegisterPlugin (&noDescriptor, allFormats), errorNullObject);
    EXPECT_EQ (errorNullObject, -20004);
    EXPECT_EQ (ACFRegisterPlugin (nullptr, allFormats), errorNullObject);

    const auto throwing = [] (StemFormat) -> bool { throw std::runtime_error ("host failure"); };
    FakeCollection collection;
    EXPECT_EQ (ACFRegisterPlugin (&collection, throwing), errorUnexpectedFailure);
}

TEST (AaxEffectDescription, WhatTheHostIsTold)
{
    FakeCollection collection;
    ASSERT_EQ (ACFRegisterPlugin (&collection, allFormats), success);
    const auto& d = *collection.descriptor;

    EXPECT_EQ (d.names, std::vector<std::string> { "Velmoor TessaroEQ" });
    EXPECT_EQ (d.categories, std::vector<std::uint32_t> { 0 });
    EXPECT_EQ (d.meters, 0);
    EXPECT_EQ (d.procedures, (std::vector<Procedure> { Procedure::guiCreation, Procedure::parameterCreation }));

    ASSERT_EQ (d.components.size(), 1u);   // mono to mono, whatever else the host supports
    const auto& p = d.components[0]->properties;
    EXPECT_EQ (p.at (Property::manufacturerId), fourCC ("VELM"));
    EXPECT_EQ (p.at (Property::productId), fourCC ("TSEQ"));
    EXPECT_EQ (p.at (Property::canBypass), 1);
    EXPECT_EQ (p.at (Property::inputStemFormat), (int) StemFormat::mono);
    EXPECT_EQ (p.at (Property::outputStemFormat), (int) StemFormat::mono);
    EXPECT_EQ (p.at (Property::nativePluginId), fourCC ("jcbb"));
    EXPECT_EQ (p.at (Property::audioSuitePluginId), fourCC ("jybb"));
    EXPECT_EQ (p.at (Property::supportsMultiMono), 1);

    EXPECT_EQ (collection.effects, std::vector<std::string> { "com.VelmoorGmbH.tessaroeq" });
    EXPECT_EQ (collection.manufacturer, "Velmoor");
    EXPECT_EQ (collection.packageNames, (std::vector<std::string> { "Velmoor TessaroEQ", "Velmoor TessaroEQ" }));
    EXPECT_EQ (collection.packageVersion, 65792u);

    // A host without mono stems is offered nothing.
    FakeCollection stereoOnly;
    ASSERT_EQ (ACFRegisterPlugin (&stereoOnly, [] (StemFormat f) { return f == StemFormat::stereo; }), success);
    EXPECT_TRUE (stereoOnly.descriptor->components.empty());
}

TEST (AaxEffectInstance, PreparesThenPublishesEveryParameter)
{
    AaxEffectInstance instance;
    FakeHost host;
    host.instance = &instance;
    ASSERT_EQ (instance.initialise (host), success);

    EXPECT_EQ (host.latency, 0);
    ASSERT_EQ (host.parameters.size(), 7u);
    for (bool prepared : host.preparedWhenPublished)
        EXPECT_TRUE (prepared);

    struct Expected
    {
        const char* id;
        const char* name;
        const char* shortName;
        double normalisedDefault;
        int steps;
    };
    const Expected table[] {
        { "microphone", "Microphone", "Micr", 0.0, 2048 },
        { "windCover", "Wind Cover", "Wind", 0.0, 3 },
        { "lowCut", "Low Cut", "Low ", 1.0, 2 },
        { "distance", "Distance", "Dist", 0.5, 2048 },
        { "aimingAccurancy", "Aim Inaccuracy Compensation", "Aim ", 0.2, 2048 },
        { "freeField", "Free Field", "Free", 0.35, 2048 },
        { "MasterBypassID", "Master Bypass", "Byp", 0.0, 2 },
    };

    for (size_t i = 0; i < 7; ++i)
    {
        const auto& info = host.parameters[i];
        SCOPED_TRACE (table[i].id);
        EXPECT_EQ (info.identifier, table[i].id);
        EXPECT_EQ (info.name, table[i].name);
        EXPECT_LE (info.name.size(), 31u);
        EXPECT_EQ (info.shortName, table[i].shortName);
        EXPECT_NEAR (info.normalisedDefault, table[i].normalisedDefault, 1.0e-6);
        EXPECT_EQ (info.numberOfSteps, table[i].steps);
        EXPECT_EQ (info.discrete, i == 6);
        EXPECT_TRUE (info.automatable);
    }

    // Texts come from the parameters themselves.
    EXPECT_EQ (host.parameters[3].valueToText (0.5), "50.0000000");
    EXPECT_NEAR (host.parameters[3].textToValue ("25"), 0.25, 1.0e-6);
    EXPECT_EQ (host.parameters[1].valueToText (1.0), "2");

    // Automation reaches the processor and the host hears back.
    EXPECT_EQ (instance.setParameter ("distance", 0.8), success);
    EXPECT_NEAR (test::get (static_cast<TessaroAudioProcessor&> (instance.processor()), "distance"), 80.0, 1.0e-4);
    EXPECT_NEAR (host.values["distance"], 0.8, 1.0e-6);
    EXPECT_EQ (instance.setParameter ("nothing", 0.5), errorNullObject);
}

TEST (AaxEffectInstance, StateChunksAndBypass)
{
    AaxEffectInstance instance;
    FakeHost host;
    instance.initialise (host);
    instance.setParameter ("windCover", 1.0);
    instance.setParameter ("freeField", 0.9);

    EXPECT_EQ (instance.chunkIds(), (std::vector<std::uint32_t> { fourCC ("elck"), fourCC ("juce") }));
    EXPECT_EQ (instance.chunkName (fourCC ("elck")), "Complete Controls State");

    juce::MemoryBlock juceChunk, stateBlock, controls;
    ASSERT_EQ (instance.getChunk (fourCC ("juce"), juceChunk), success);
    instance.processor().getStateInformation (stateBlock);
    EXPECT_EQ (juceChunk, stateBlock);
    ASSERT_EQ (instance.getChunk (fourCC ("elck"), controls), success);

    // A second instance restores from either chunk, and tells its host.
    for (auto id : { fourCC ("juce"), fourCC ("elck") })
    {
        AaxEffectInstance restored;
        FakeHost otherHost;
        restored.initialise (otherHost);
        ASSERT_EQ (restored.setChunk (id, id == fourCC ("juce") ? juceChunk : controls), success);
        juce::MemoryBlock again;
        restored.getChunk (fourCC ("juce"), again);
        EXPECT_EQ (again, juceChunk);
        EXPECT_NEAR (otherHost.values["freeField"], 0.9, 1.0e-6);
    }

    juce::MemoryBlock unused;
    EXPECT_EQ (instance.getChunk (fourCC ("abcd"), unused), errorUnimplemented);

    // Bypassed, the audio passes unchanged; otherwise it is equalised.
    std::vector<float> audio (1000, 0.0f);
    audio[0] = 1.0f;
    instance.setParameter (AaxEffectInstance::bypassIdentifier, 1.0);
    instance.process (audio.data(), (int) audio.size());
    EXPECT_EQ (audio[0], 1.0f);
    instance.setParameter (AaxEffectInstance::bypassIdentifier, 0.0);
    instance.process (audio.data(), (int) audio.size());
    EXPECT_NE (audio[0], 1.0f);

    auto editor = instance.createEditor();
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getWidth(), 1000);
}

// A host layer must never hang: a host that processes before it initialises
// gets its block back (silent, as nothing is prepared yet), and empty or
// missing blocks are harmless.
TEST (AaxEffectInstance, ProcessBeforeInitialiseReturns)
{
    AaxEffectInstance instance;
    std::vector<float> audio (300, 0.5f);
    instance.process (audio.data(), (int) audio.size());

    for (auto v : audio)
        ASSERT_EQ (v, 0.0f);

    instance.process (audio.data(), 0);
    instance.process (nullptr, 64);
}
