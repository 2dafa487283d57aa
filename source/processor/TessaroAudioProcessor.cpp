#include "processor/TessaroAudioProcessor.h"
#include "processor/TessaroPresets.h"
#include "editor/TessaroAudioProcessorEditor.h"

#include <TessaroIdentity.h>

#include <cmath>
#include <limits>
#include <utility>

namespace
{
    using StageCoefficients = ChainDesign::StageCoefficients;
    using ArrayCoefficients = juce::dsp::IIR::ArrayCoefficients<float>;

    constexpr unsigned int bit (int parameterIndex) noexcept   { return 1u << (unsigned int) parameterIndex; }

    // A design frequency close to half the sample rate gives a filter whose
    // poles sit on or outside the unit circle. Such a stage is left flat;
    // every rate of 22050 Hz and above designs all stages normally.
    constexpr float maxDesignFraction = 0.45f;

    bool canDesign (float frequency, float sampleRate) noexcept
    {
        return frequency < maxDesignFraction * sampleRate;
    }

    bool isFiniteAndStable (const StageCoefficients& c) noexcept
    {
        for (auto v : c)
            if (! std::isfinite (v))
                return false;

        if (c[3] == 0.0f)
            return false;

        // Stability triangle of a second-order denominator 1 + p1 z^-1 + p2 z^-2.
        const auto p1 = c[4] / c[3];
        const auto p2 = c[5] / c[3];
        return std::abs (p2) < 1.0f && std::abs (p1) < 1.0f + p2;
    }

    StageCoefficients checked (const StageCoefficients& c) noexcept
    {
        return isFiniteAndStable (c) ? c : ChainDesign::flat;
    }

    StageCoefficients peakDesign (float sampleRate, const TessaroAudioProcessor::BandDesign& band, float gain) noexcept
    {
        if (! canDesign (band.frequency, sampleRate))
            return ChainDesign::flat;

        return checked (ArrayCoefficients::makePeakFilter ((double) sampleRate, band.frequency, band.q, gain));
    }

    StageCoefficients highShelfDesign (float sampleRate, const TessaroAudioProcessor::BandDesign& band, float gain) noexcept
    {
        if (! canDesign (band.frequency, sampleRate))
            return ChainDesign::flat;

        return checked (ArrayCoefficients::makeHighShelf ((double) sampleRate, band.frequency, band.q, gain));
    }

    template <typename Chain, size_t... stage>
    void copyStageCoefficients (Chain& chain, const ChainDesign& design, std::index_sequence<stage...>) noexcept
    {
        // Assigning an array into an existing coefficient object reuses its
        // storage: no allocation on the audio thread.
        ((*chain.template get<stage>().coefficients = design.stages[stage]), ...);
    }

    template <typename Chain, size_t... stage>
    void resetStages (Chain& chain, std::index_sequence<stage...>) noexcept
    {
        (chain.template get<stage>().reset(), ...);
    }

    // Replaces NaN and infinities with zero; true if there were any. The scan
    // is a branch-free pass the compiler vectorises, so the clean block (the
    // usual case) costs one cheap read of the samples.
    bool zeroNonFinite (float* samples, int numSamples) noexcept
    {
        bool anyNonFinite = false;

        for (int i = 0; i < numSamples; ++i)
            anyNonFinite |= ! (std::abs (samples[i]) <= std::numeric_limits<float>::max());

        if (anyNonFinite)
            for (int i = 0; i < numSamples; ++i)
                if (! std::isfinite (samples[i]))
                    samples[i] = 0.0f;

        return anyNonFinite;
    }

    bool isUsableNumber (const juce::var& value)
    {
        const auto text = value.toString().trim();
        return text.isNotEmpty()
            && text.containsOnly ("0123456789+-.eE")
            && std::isfinite (text.getDoubleValue());
    }
}

//==============================================================================
TessaroAudioProcessor::TessaroAudioProcessor()
    // Both main buses are mono and enabled from the start. A bus that is not
    // enabled by default is one a host may leave unconnected (the LV2 wrapper
    // declares its ports optional), and the wrappers then read from or write
    // to a null channel. One in and one out is the only layout offered anyway.
    : AudioProcessor (BusesProperties().withInput ("Input", juce::AudioChannelSet::mono(), true)
                                       .withOutput ("Output", juce::AudioChannelSet::mono(), true)),
      valueTreeState (*this, nullptr)
{
    presetNames = { "Default", "Singbird (Far)", "Singbird (Close)", "Animal (Far)",
                    "Animal (Close)", "Speech (Far)", "Speech (Close)" };

    frequencies.resize ((size_t) numGridPoints);
    for (int i = 0; i < numGridPoints; ++i)
        frequencies[(size_t) i] = std::pow (2.0, i / 30.0) * 20.0;

    combinedResponse.assign ((size_t) numGridPoints, 0.0);

    for (const auto& design : bandDesigns)
        bands.push_back ({ design.gain, design.q, design.frequency, std::vector<double> ((size_t) numGridPoints, 1.0) });

    // Every stage holds a second-order flat set from the start, so its filter
    // state never has to be reallocated on the audio thread when a stage
    // changes between flat and designed.
    copyStageCoefficients (filterChain, ChainDesign {}, std::make_index_sequence<ChainDesign::numStages> {});
    resetStages (filterChain, std::make_index_sequence<ChainDesign::numStages> {});
    filterChain.get<6>().setGainLinear (0.0f);
    filterChain.get<6>().setRampDurationSeconds (0.0);

    rateContexts.writeSlot() = makeRateContext (hostSampleRate, 0.0f);
    rateContexts.publish();

    TessaroParameters::addTo (valueTreeState);

    for (int i = 0; i < TessaroParameters::count; ++i)
        valueTreeState.addParameterListener (TessaroParameters::idOf (i), this);

    valueTreeState.state = juce::ValueTree (stateType);

    for (int i = 0; i < TessaroParameters::count; ++i)
        rawValues[(size_t) i] = valueTreeState.getRawParameterValue (TessaroParameters::idOf (i));
}

TessaroAudioProcessor::~TessaroAudioProcessor() = default;

const juce::String TessaroAudioProcessor::getName() const   { return tessaro::identity::productName; }

//==============================================================================
TessaroAudioProcessor::RateContext TessaroAudioProcessor::makeRateContext (float sampleRate, float outputGain)
{
    RateContext context;
    context.sampleRate = sampleRate;
    context.outputGain = outputGain;

    const auto corner = bandDesigns[0].frequency;

    if (canDesign (corner, sampleRate))
    {
        // Allocates: this runs in prepareToPlay and the constructor, never
        // on the audio thread. Parameter changes only pick the sections.
        const auto sections = juce::dsp::FilterDesign<float>::designIIRHighpassHighOrderButterworthMethod (corner, (double) sampleRate, 4);

        for (int s = 0; s < 2 && s < sections.size(); ++s)
        {
            const auto* c = sections.getObjectPointerUnchecked (s)->getRawCoefficients();
            context.highPass[(size_t) s] = checked ({ c[0], c[1], c[2], 1.0f, c[3], c[4] });
        }
    }

    return context;
}

void TessaroAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // A host may pass nonsense here; the last usable rate keeps the designs valid.
    if (sampleRate > 0.0 && sampleRate < 1.0e7)
        hostSampleRate = (float) sampleRate;

    rateContexts.writeSlot() = makeRateContext (hostSampleRate, 1.0f);
    rateContexts.publish();

    filterChain.get<6>().setGainLinear (1.0f);

    for (auto index : { TessaroParameters::windCover, TessaroParameters::lowCut, TessaroParameters::distance,
                        TessaroParameters::aimingAccurancy, TessaroParameters::freeField })
        parameterChanged (TessaroParameters::idOf (index), rawValue (index));

    filterChain.prepare ({ (double) hostSampleRate, (juce::uint32) juce::jmax (1, maximumExpectedSamplesPerBlock), 1 });
}

void TessaroAudioProcessor::releaseResources()
{
    filterChain.reset();
}

void TessaroAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    if (audioDesigns.update())
        applyDesign (audioDesigns.read());

    if (buffer.getNumChannels() == 0 || buffer.getNumSamples() == 0)
        return;

    // A broken source upstream can put a NaN or an infinity on the bus. One
    // such sample would stay in the recursive filters' state and poison all
    // later output, so it is treated as silence; and should finite input
    // still drive the filters out of range, their state is cleared.
    const auto numChannels = buffer.getNumChannels();
    const auto numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < numChannels; ++ch)
        zeroNonFinite (buffer.getWritePointer (ch), numSamples);

    juce::dsp::AudioBlock<float> block (buffer);
    filterChain.process (juce::dsp::ProcessContextReplacing<float> (block));

    bool outputWasNonFinite = false;

    for (int ch = 0; ch < numChannels; ++ch)
        outputWasNonFinite = zeroNonFinite (buffer.getWritePointer (ch), numSamples) || outputWasNonFinite;

    if (outputWasNonFinite)
        resetStages (filterChain, std::make_index_sequence<ChainDesign::numStages> {});
}

void TessaroAudioProcessor::applyDesign (const ChainDesign& design) noexcept
{
    const auto lowCutWasOn = ! filterChain.isBypassed<0>();

    copyStageCoefficients (filterChain, design, std::make_index_sequence<ChainDesign::numStages> {});
    filterChain.setBypassed<0> (! design.lowCutOn);
    filterChain.setBypassed<1> (! design.lowCutOn);

    // The low cut comes in with freshly cleared sections.
    if (design.lowCutOn && ! lowCutWasOn)
    {
        filterChain.get<0>().reset();
        filterChain.get<1>().reset();
    }
}

//==============================================================================
double TessaroAudioProcessor::getTailLengthSeconds() const   { return 0.0; }
bool TessaroAudioProcessor::acceptsMidi() const              { return false; }
bool TessaroAudioProcessor::producesMidi() const             { return false; }
bool TessaroAudioProcessor::isMidiEffect() const             { return false; }

juce::AudioProcessorEditor* TessaroAudioProcessor::createEditor()
{
    return new TessaroAudioProcessorEditor (*this);
}

bool TessaroAudioProcessor::hasEditor() const                { return true; }

//==============================================================================
int TessaroAudioProcessor::getNumPrograms()                  { return presetNames.size(); }
int TessaroAudioProcessor::getCurrentProgram()               { return currentProgram; }
void TessaroAudioProcessor::setCurrentProgram (int)          {}
const juce::String TessaroAudioProcessor::getProgramName (int index)   { return presetNames[index]; }
void TessaroAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
void TessaroAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

std::unique_ptr<juce::XmlElement> TessaroAudioProcessor::readStateBlock (const void* data, int sizeInBytes)
{
    constexpr int headerSize = 8;

    if (data == nullptr || sizeInBytes <= headerSize || sizeInBytes > maxStateBlockBytes)
        return {};

    const auto* bytes = static_cast<const juce::uint8*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != stateBlockMagic)
        return {};

    // A length of zero, or one with the top bit set, means a damaged block;
    // a length past the end of the block reads what the block holds, as the
    // framework's own reader does.
    const auto length = juce::ByteOrder::littleEndianInt (bytes + 4);

    if (length == 0 || (length & 0x80000000u) != 0)
        return {};

    const auto textLength = (int) juce::jmin (length, (juce::uint32) (sizeInBytes - headerSize));
    const auto* text = reinterpret_cast<const char*> (bytes + headerSize);

    if (! juce::CharPointer_UTF8::isValidString (text, textLength) || nestingDepth (text, textLength) > maxStateNesting)
        return {};

    auto xml = getXmlFromBinary (data, sizeInBytes);

    if (xml == nullptr || ! xml->hasTagName (stateType))
        return {};

    return xml;
}

int TessaroAudioProcessor::nestingDepth (const char* text, int length) noexcept
{
    // The framework's XML reader recurses once per level, so a block nested
    // thousands deep overflows the host's stack. Counting the levels first
    // needs no parsing: a tag opens with '<' followed by a name, closes with
    // "</" or ends itself with "/>". Declarations, comments and processing
    // instructions ('<' followed by '!' or '?') open nothing. Anything odd
    // only counts deeper, which refuses a block rather than risk the stack.
    int depth = 0, deepest = 0;

    for (int i = 0; i < length; ++i)
    {
        if (text[i] == '<' && i + 1 < length)
        {
            const auto next = text[i + 1];

            if (next == '/')
                --depth;
            else if (next != '!' && next != '?')
                deepest = juce::jmax (deepest, ++depth);
        }
        else if (text[i] == '/' && i + 1 < length && text[i + 1] == '>')
        {
            --depth;
        }
    }

    return deepest;
}

void TessaroAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = readStateBlock (data, sizeInBytes);

    if (xml == nullptr)
        return;

    auto tree = juce::ValueTree::fromXml (*xml);

    if (! tree.isValid())
        return;

    // A value that is not a finite number must never reach a parameter; the
    // parameter takes its default instead, as for a child without a value,
    // and the child holds that default so that the next save writes the
    // value in force. Only the parameters' own children are cleaned: other
    // elements of the tree are kept as they are.
    for (auto child : tree)
    {
        const auto index = TessaroParameters::indexOf (child.getProperty ("id").toString());

        if (index >= 0 && child.hasProperty ("value") && ! isUsableNumber (child.getProperty ("value")))
            child.setProperty ("value", (double) TessaroParameters::table()[(size_t) index].defaultValue, nullptr);
    }

    // A parameter the block does not name keeps its current value: give it
    // a child holding that value, appended after the block's own children in
    // the order of the ids, as the parameter manager orders its own.
    juce::StringArray ids;
    for (const auto& definition : TessaroParameters::table())
        ids.add (definition.id);
    ids.sort (false);

    for (const auto& id : ids)
    {
        if (tree.getChildWithProperty ("id", id).isValid())
            continue;

        juce::ValueTree child ("PARAM");
        child.setProperty ("id", id, nullptr);
        child.setProperty ("value", (double) valueTreeState.getRawParameterValue (id)->load(), nullptr);
        tree.appendChild (child, nullptr);
    }

    valueTreeState.replaceState (tree);
}

//==============================================================================
float TessaroAudioProcessor::rawValue (int index) const noexcept
{
    const auto value = rawValues[(size_t) index]->load (std::memory_order_relaxed);
    return std::isfinite (value) ? value : TessaroParameters::table()[(size_t) index].defaultValue;
}

void TessaroAudioProcessor::parameterChanged (const juce::String& parameterID, float newValue)
{
    const auto index = TessaroParameters::indexOf (parameterID);

    if (index < 0)
        return;

    if (index == TessaroParameters::lowCut)
        requestedLowCut.store (newValue, std::memory_order_relaxed);

    // Taking the designer role and leaving a change for its holder are one
    // operation on one word: the change is either designed by this thread or
    // seen by the thread that holds the role.
    const auto before = designerState.fetch_or (bit (index) | designerBusyBit, std::memory_order_acq_rel);

    if ((before & designerBusyBit) == 0)
        runPendingDesigns();

    changeNotifier.notify();
}

void TessaroAudioProcessor::runPendingDesigns() noexcept
{
    // Called by the thread that has just set designerBusyBit. Why no change is
    // ever stranded: every operation here and in parameterChanged is a
    // read-modify-write or compare-exchange on the one word designerState,
    // and all of them fall into that word's single modification order.
    //  - A change made while the bit is set is ORed in before or after the
    //    holder's exchange below. Before: the exchange takes it. After: the
    //    holder's compare-exchange expects the word to hold the busy bit
    //    alone, fails, and the holder goes round again.
    //  - A change made after the compare-exchange released the word finds
    //    the busy bit clear, and its own thread becomes the designer.
    // Acquire/release on the same word also carries the raw parameter values
    // and designs from one designer to the next.
    for (;;)
    {
        const auto changed = designerState.exchange (designerBusyBit, std::memory_order_acq_rel) & ~designerBusyBit;

        if (rateContexts.update())
        {
            workingDesign.sampleRate = rateContexts.read().sampleRate;
            workingDesign.outputGain = rateContexts.read().outputGain;
        }

        designChanges (changed);

        audioDesigns.writeSlot() = workingDesign;
        audioDesigns.publish();
        modelDesigns.writeSlot() = workingDesign;
        modelDesigns.publish();

        auto expected = designerBusyBit;

        if (designerState.compare_exchange_strong (expected, 0u, std::memory_order_acq_rel, std::memory_order_acquire))
            return;
    }
}

void TessaroAudioProcessor::designChanges (unsigned int changed) noexcept
{
    using P = TessaroParameters;

    if ((changed & bit (P::windCover)) != 0)
        designWindCover();

    if ((changed & bit (P::lowCut)) != 0)
        designLowCut (requestedLowCut.load (std::memory_order_relaxed) == 1.0f);

    if ((changed & (bit (P::distance) | bit (P::freeField) | bit (P::microphone))) != 0)
    {
        designLowBand();

        if ((changed & bit (P::distance)) != 0)
            updateHighShelf();
    }

    if ((changed & (bit (P::aimingAccurancy) | bit (P::microphone))) != 0)
        updateHighShelf();
}

void TessaroAudioProcessor::designWindCover() noexcept
{
    const auto windCover = rawValue (TessaroParameters::windCover);
    const auto rate = workingDesign.sampleRate;
    auto& stages = workingDesign.stages;

    if (windCover == 1.0f)
    {
        stages[3] = peakDesign (rate, bandDesigns[3], 1.0f);
    }
    else
    {
        stages[3] = peakDesign (rate, bandDesigns[3], windCover == 2.0f ? 1.06f : 1.0f);
        stages[4] = peakDesign (rate, bandDesigns[4], 1.0f);
    }

    updateHighShelf();
}

void TessaroAudioProcessor::designLowCut (bool on) noexcept
{
    workingDesign.lowCutOn = on;

    if (on)
    {
        const auto& sections = rateContexts.read().highPass;
        workingDesign.stages[0] = sections[0];
        workingDesign.stages[1] = sections[1];
    }
    else
    {
        workingDesign.stages[0] = ChainDesign::flat;
        workingDesign.stages[1] = ChainDesign::flat;
    }
}

void TessaroAudioProcessor::designLowBand() noexcept
{
    const auto microphone = rawValue (TessaroParameters::microphone);
    const auto micFigureDb = microphone == 1.0f ? 30.0f : (microphone == 2.0f ? 18.0f : 33.0f);

    workingDesign.distanceFraction = rawValue (TessaroParameters::distance) / 100.0f;
    const auto freeField = rawValue (TessaroParameters::freeField) / 100.0f;

    // Close up, the dish's low-frequency hump is a quarter of the capsule's
    // figure; in the free field it grows to three quarters, weighted
    // exponentially by the free-field share.
    const auto closeGain = juce::Decibels::decibelsToGain ((double) micFigureDb * 0.25);
    const auto closeTerm = (float) ((double) (1.0f - workingDesign.distanceFraction) * closeGain);
    const auto freeGain = juce::Decibels::decibelsToGain ((double) micFigureDb * 0.75);
    const auto weight = (float) ((double) (std::exp (freeField) - 1.0f) / (juce::MathConstants<double>::euler - 1.0));
    const auto freeTerm = weight * (float) ((double) freeField * freeGain);

    workingDesign.lowBandGain = juce::jmax (1.0f, freeTerm + closeTerm);
    workingDesign.stages[2] = peakDesign (workingDesign.sampleRate, bandDesigns[2], workingDesign.lowBandGain);
}

void TessaroAudioProcessor::updateHighShelf() noexcept
{
    const auto windCover = rawValue (TessaroParameters::windCover);
    const auto offset = windCover == 1.0f ? 2.0f : (windCover == 2.0f ? 0.06f : 0.0f);
    const auto microphoneFactor = rawValue (TessaroParameters::microphone) == 2.0f ? 0.5f : 1.2f;
    const auto aim = rawValue (TessaroParameters::aimingAccurancy) / 100.0f;

    workingDesign.highShelfGain = ((aim * microphoneFactor + bandDesigns[5].gain)
                                   + workingDesign.distanceFraction * 0.5f)
                                  + offset;
    workingDesign.stages[5] = highShelfDesign (workingDesign.sampleRate, bandDesigns[5], workingDesign.highShelfGain);
}

//==============================================================================
void TessaroAudioProcessor::refreshResponseModel() const
{
    const auto fresh = modelDesigns.update();

    if (! fresh && modelEvaluated)
        return;

    const auto& design = modelDesigns.read();

    for (size_t k = 0; k < (size_t) numBands; ++k)
    {
        if (modelEvaluated && design.stages[k] == modelDesign.stages[k] && design.sampleRate == modelDesign.sampleRate)
            continue;

        const juce::dsp::IIR::Coefficients<float> coefficients (design.stages[k]);
        coefficients.getMagnitudeForFrequencyArray (frequencies.data(), bands[k].magnitudes.data(),
                                                    (size_t) numGridPoints, (double) design.sampleRate);
    }

    std::fill (combinedResponse.begin(), combinedResponse.end(), (double) design.outputGain);

    for (const auto& band : bands)
        juce::FloatVectorOperations::multiply (combinedResponse.data(), band.magnitudes.data(), numGridPoints);

    modelDesign = design;
    modelEvaluated = true;
}

std::vector<double> TessaroAudioProcessor::getCombinedResponse() const
{
    const juce::ScopedLock lock (modelLock);
    refreshResponseModel();
    return combinedResponse;
}

std::vector<double> TessaroAudioProcessor::getBandMagnitudes (int band) const
{
    const juce::ScopedLock lock (modelLock);
    refreshResponseModel();
    return juce::isPositiveAndBelow (band, numBands) ? bands[(size_t) band].magnitudes : std::vector<double>();
}

ChainDesign TessaroAudioProcessor::getDesign() const
{
    const juce::ScopedLock lock (modelLock);
    refreshResponseModel();
    return modelDesign;
}

void TessaroAudioProcessor::buildResponsePath (juce::Path& path, const juce::Rectangle<float>& area) const
{
    const juce::ScopedLock lock (modelLock);
    refreshResponseModel();

    const auto x = area.getX();
    const auto y = area.getY();
    const auto w = area.getWidth();
    const auto h = area.getHeight();

    // One decibel is h * 0.027574: the area spans -6.04 dB to +30.22 dB.
    const auto scale = ((double) h * 1.5) / (double) std::pow (10.0f, 0.9f);
    const auto logBase = std::log (2.2);

    const auto yFor = [&] (double magnitude)
    {
        // Nothing is designed before the first prepareToPlay and the model
        // is zero; such points sit on the bottom edge rather than at infinity.
        if (! (magnitude > 0.0) || ! std::isfinite (magnitude))
            return y + h;

        const auto zeroLine = (y + h) - ((y + h) - (h * 0.5f + y)) / 3.0f;
        return (float) ((double) zeroLine - std::log (magnitude) * scale / logBase);
    };

    path.startNewSubPath (x, yFor (combinedResponse[0]));

    const auto step = w / (float) numGridPoints;

    for (int i = 1; i < numGridPoints; ++i)
        path.lineTo ((float) ((double) i * (double) step + (double) x), yFor (combinedResponse[(size_t) i]));
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TessaroAudioProcessor();
}
