#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include "processor/ChainDesign.h"
#include "processor/ChainDesigner.h"
#include "processor/ChangeNotifier.h"
#include "processor/DesignHandOver.h"
#include "processor/ResponseModel.h"
#include "processor/SmoothChain.h"
#include "processor/TessaroParameters.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

/** The equaliser for parabolic-dish recordings.

    Threads: any thread may change a parameter (hosts deliver automation on
    their audio thread). A change designs the affected stages into a complete
    ChainDesign and publishes it lock-free; processBlock takes the newest
    design at the start of a block, and the response model is brought up to
    date by whoever reads it, from the same published designs. */
class TessaroAudioProcessor : public juce::AudioProcessor,
                              public juce::AudioProcessorValueTreeState::Listener,
                              public juce::ChangeBroadcaster
{
public:
    static constexpr int numGridPoints = ResponseModel::numGridPoints;
    static constexpr int numBands = ResponseModel::numBands;
    static constexpr const char* stateType = "TessaroEQ";
    static constexpr int numPrograms = 7;
    static constexpr const char* programProperty = "program";

    using BandDesign = ChainDesigner::BandDesign;
    static constexpr const auto& bandDesigns = ChainDesigner::bandDesigns;

    TessaroAudioProcessor();
    ~TessaroAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using AudioProcessor::processBlock;

    /** The host's bypass: fades to the dry signal rather than switching. */
    void processBlockBypassed (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using AudioProcessor::processBlockBypassed;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    /** The state tree's XML if the bytes are an intact TessaroEQ state block
        (letter case of the root name aside), otherwise nullptr. */
    static std::unique_ptr<juce::XmlElement> readStateBlock (const void* data, int sizeInBytes);

    /** The framework's binary XML block starts with this number. */
    static constexpr juce::uint32 stateBlockMagic = 0x21324356;

    /** Bounds far above any real state (a few hundred bytes, two levels
        deep); blocks beyond them are refused before they are parsed. */
    static constexpr int maxStateBlockBytes = 1 << 20;
    static constexpr int maxStateNesting = 16;

    /** Redesigns the stages that depend on the parameter. Real-time safe. */
    void parameterChanged (const juce::String& parameterID, float newValue) override;

    juce::AudioProcessorValueTreeState& getValueTreeState() noexcept { return valueTreeState; }

    //==============================================================================
    // Response model. These read the newest published design; call them from
    // the message thread or any other non-audio thread.

    /** Appends the combined response as one open sub-path of 300 points
        inside the area, placed by ResponseGraphScale. */
    void buildResponsePath (juce::Path& path, const juce::Rectangle<float>& area) const;

    std::vector<double> getCombinedResponse() const;
    std::vector<double> getBandMagnitudes (int band) const;
    const std::vector<double>& getFrequencies() const noexcept { return model.getFrequencies(); }

    /** How many output samples so far came out of the filters not finite
        (finite input near the float limit) and were written as silence. */
    juce::int64 getOverflowedSampleCount() const noexcept { return overflowedSamples.load (std::memory_order_relaxed); }

    /** The newest complete design. */
    ChainDesign getDesign() const;

private:
    static int nestingDepth (const char* text, int length) noexcept;

    ChainDesigner::Inputs currentInputs() const noexcept;
    float rawValue (int index) const noexcept;
    void process (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept;

    /** Brings the model up to the newest design; call with modelLock held. */
    void refreshModel() const;

    juce::AudioProcessorValueTreeState valueTreeState;
    SmoothChain filterChain;

    // Read by whichever thread designs; set with each lowCut change.
    std::atomic<float> requestedLowCut { 0.0f };
    mutable DesignHandOver handOver { [this] { return currentInputs(); } };   // the model side reads from const getters

    // The response model and its side of the hand-over, guarded by modelLock
    // (never taken on the audio thread).
    mutable juce::CriticalSection modelLock;
    mutable ResponseModel model;

    juce::StringArray presetNames;

    // Programs. The host may choose one on any thread; off the message thread
    // the recall is left to it (see setCurrentProgram).
    void recallProgram (int index);
    void recallPendingProgram();
    std::atomic<int> currentProgram { 0 };
    std::atomic<int> recalledProgram { 0 };   // what the parameters last came from; saved with the state
    std::atomic<int> pendingProgram { -1 };
    std::atomic<int> restoredProgram { -1 };

    // Once someone has touched a control after a restore, choosing the
    // restored program again is a choice of theirs, no longer the host's.
    struct GestureWatcher final : juce::AudioProcessorParameter::Listener
    {
        explicit GestureWatcher (std::atomic<int>& programToForget) : restored (programToForget) {}
        void parameterValueChanged (int, float) override {}
        void parameterGestureChanged (int, bool starting) override
        {
            if (starting)
                restored.store (-1);
        }
        std::atomic<int>& restored;
    };
    GestureWatcher gestureWatcher { restoredProgram };

    std::atomic<juce::int64> overflowedSamples { 0 };

    float hostSampleRate = 44100.0f;   // last usable rate given to prepareToPlay

    std::array<std::atomic<float>*, TessaroParameters::count> rawValues {};

    ChangeNotifier changeNotifier { *this, [this] { recallPendingProgram(); } };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TessaroAudioProcessor)
};
