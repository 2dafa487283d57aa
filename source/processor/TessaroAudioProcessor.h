#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include "processor/ChainDesign.h"
#include "processor/ChangeNotifier.h"
#include "processor/FilterBand.h"
#include "processor/TessaroParameters.h"
#include "processor/TripleBuffer.h"

#include <array>
#include <atomic>
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
    static constexpr int numGridPoints = 300;
    static constexpr int numBands = 6;
    static constexpr const char* stateType = "TessaroEQ";

    /** Design values of the six bands; band k belongs to stage k. */
    struct BandDesign { float gain, q, frequency; };
    static constexpr std::array<BandDesign, numBands> bandDesigns { {
        { 1.0f,  1.0f,   70.0f },
        { 1.0f,  1.0f,   70.0f },
        { 1.0f,  0.25f,  200.0f },
        { 1.0f,  0.8f,   2500.0f },
        { 1.0f,  1.5f,   2500.0f },
        { 1.25f, 0.6f,   7700.0f },
    } };

    TessaroAudioProcessor();
    ~TessaroAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using AudioProcessor::processBlock;

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

    juce::AudioProcessorValueTreeState& getValueTreeState() noexcept   { return valueTreeState; }

    //==============================================================================
    // Response model. These read the newest published design; call them from
    // the message thread or any other non-audio thread.

    /** Appends the combined response as one open sub-path of 300 points
        inside the area; 0 dB lies five sixths of the height below the top. */
    void buildResponsePath (juce::Path& path, const juce::Rectangle<float>& area) const;

    std::vector<double> getCombinedResponse() const;
    std::vector<double> getBandMagnitudes (int band) const;
    const std::vector<double>& getFrequencies() const noexcept   { return frequencies; }

    /** The newest complete design. */
    ChainDesign getDesign() const;

private:
    using Filter = juce::dsp::IIR::Filter<float>;
    using Chain = juce::dsp::ProcessorChain<Filter, Filter, Filter, Filter, Filter, Filter, juce::dsp::Gain<float>>;

    /** What the designs depend on besides the parameters; set by prepareToPlay. */
    struct RateContext
    {
        float sampleRate = 44100.0f;
        float outputGain = 0.0f;
        std::array<ChainDesign::StageCoefficients, 2> highPass { ChainDesign::flat, ChainDesign::flat };
    };

    static RateContext makeRateContext (float sampleRate, float outputGain);
    static int nestingDepth (const char* text, int length) noexcept;

    void runPendingDesigns() noexcept;
    void designChanges (unsigned int changedParameters) noexcept;
    void designWindCover() noexcept;
    void designLowCut (bool on) noexcept;
    void designLowBand() noexcept;
    void updateHighShelf() noexcept;
    float rawValue (int index) const noexcept;

    void applyDesign (const ChainDesign& design) noexcept;
    void refreshResponseModel() const;

    juce::AudioProcessorValueTreeState valueTreeState;
    Chain filterChain;

    // Response model, owned by its readers and guarded by modelLock (never
    // taken on the audio thread).
    mutable juce::CriticalSection modelLock;
    mutable std::vector<FilterBand> bands;
    mutable std::vector<double> combinedResponse;
    mutable ChainDesign modelDesign;
    mutable bool modelEvaluated = false;
    std::vector<double> frequencies;

    juce::StringArray presetNames;
    int currentProgram = 0;
    float hostSampleRate = 44100.0f;   // last usable rate given to prepareToPlay

    // Design hand-over. One thread at a time designs: the one that set
    // designerBusyBit. Changes made meanwhile are left as parameter bits in
    // the same word for it (see runPendingDesigns).
    static constexpr unsigned int designerBusyBit = 1u << 31;
    std::atomic<unsigned int> designerState { 0 };
    std::atomic<float> requestedLowCut { 0.0f };
    ChainDesign workingDesign;                    // owned by the designing thread
    TripleBuffer<RateContext> rateContexts;       // prepareToPlay -> designer
    TripleBuffer<ChainDesign> audioDesigns;       // designer -> processBlock
    mutable TripleBuffer<ChainDesign> modelDesigns; // designer -> response model

    std::array<std::atomic<float>*, TessaroParameters::count> rawValues {};

    ChangeNotifier changeNotifier { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TessaroAudioProcessor)
};
