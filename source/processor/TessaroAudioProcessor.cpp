#include "processor/TessaroAudioProcessor.h"
#include "processor/NonFiniteSamples.h"
#include "processor/ResponseGraphScale.h"
#include "processor/TessaroPresets.h"

#include <TessaroIdentity.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace
{
    constexpr unsigned int bit (int parameterIndex) noexcept { return 1u << (unsigned int) parameterIndex; }

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
    // clang-format off
    : AudioProcessor (BusesProperties().withInput ("Input", juce::AudioChannelSet::mono(), true)
                                       .withOutput ("Output", juce::AudioChannelSet::mono(), true)),
      // clang-format on
      valueTreeState (*this, nullptr)
{
    // The programs are the first rows of the preset table; the sport presets
    // are the editor's only.
    for (int i = 0; i < numPrograms; ++i)
        presetNames.add (TessaroPresets::table()[(size_t) i].name);

    handOver.setRateContext (ChainDesigner::makeRateContext (hostSampleRate, 0.0f));

    TessaroParameters::addTo (valueTreeState);

    for (int i = 0; i < TessaroParameters::count; ++i)
        valueTreeState.addParameterListener (TessaroParameters::idOf (i), this);

    valueTreeState.state = juce::ValueTree (stateType);

    for (int i = 0; i < TessaroParameters::count; ++i)
        rawValues[(size_t) i] = valueTreeState.getRawParameterValue (TessaroParameters::idOf (i));

    for (auto* parameter : getParameters())
        parameter->addListener (&gestureWatcher);
}

TessaroAudioProcessor::~TessaroAudioProcessor()
{
    for (auto* parameter : getParameters())
        parameter->removeListener (&gestureWatcher);
}

const juce::String TessaroAudioProcessor::getName() const { return tessaro::identity::productName; }

//==============================================================================
void TessaroAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // A host may pass nonsense here; the last usable rate keeps the designs valid.
    if (sampleRate > 0.0 && sampleRate < 1.0e7)
        hostSampleRate = (float) sampleRate;

    handOver.setRateContext (ChainDesigner::makeRateContext (hostSampleRate, 1.0f));

    for (auto index : { TessaroParameters::windCover, TessaroParameters::lowCut, TessaroParameters::distance,
                        TessaroParameters::aimingAccurancy, TessaroParameters::freeField })
        parameterChanged (TessaroParameters::idOf (index), rawValue (index));

    const auto channels = juce::jmax (1, getTotalNumInputChannels(), getTotalNumOutputChannels());
    filterChain.prepare ((double) hostSampleRate, maximumExpectedSamplesPerBlock, channels);
}

void TessaroAudioProcessor::releaseResources()
{
    filterChain.reset();
}

void TessaroAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    process (buffer, false);
}

void TessaroAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    process (buffer, true);
}

void TessaroAudioProcessor::process (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept
{
    juce::ScopedNoDenormals noDenormals;

    // A design that arrives during a crossfade waits for its end; the hand-over
    // keeps the newest, so the last change is the one that ends up in force.
    if (filterChain.canTakeDesign() && handOver.takeAudioDesign())
        filterChain.setDesign (handOver.audioDesign());

    if (buffer.getNumChannels() == 0 || buffer.getNumSamples() == 0)
        return;

    // A broken source upstream can put a NaN or an infinity on the bus. One
    // such sample would stay in the recursive filters' state and poison all
    // later output, so it is treated as silence; and should finite input
    // still drive the filters out of range, their state is cleared.
    const auto numChannels = buffer.getNumChannels();
    const auto numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < numChannels; ++ch)
        zeroNonFiniteSamples (buffer.getWritePointer (ch), numSamples);

    filterChain.process (buffer, bypassed);

    int overflowed = 0;

    for (int ch = 0; ch < numChannels; ++ch)
        overflowed += zeroNonFiniteSamples (buffer.getWritePointer (ch), numSamples);

    if (overflowed > 0)
    {
        filterChain.clearState();
        overflowedSamples.fetch_add (overflowed, std::memory_order_relaxed);
    }
}

//==============================================================================
double TessaroAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool TessaroAudioProcessor::acceptsMidi() const { return false; }
bool TessaroAudioProcessor::producesMidi() const { return false; }
bool TessaroAudioProcessor::isMidiEffect() const { return false; }

// The processor on its own (the renderer, the core tests) has no window; the
// plug-in's processor adds it (TessaroPluginProcessor).
juce::AudioProcessorEditor* TessaroAudioProcessor::createEditor() { return nullptr; }
bool TessaroAudioProcessor::hasEditor() const { return false; }

//==============================================================================
int TessaroAudioProcessor::getNumPrograms() { return presetNames.size(); }
int TessaroAudioProcessor::getCurrentProgram() { return currentProgram.load(); }

void TessaroAudioProcessor::setCurrentProgram (int index)
{
    if (! juce::isPositiveAndBelow (index, numPrograms))
        return;

    // A host that keeps the program with its session chooses it again after
    // restoring the state. The parameters the user moved after choosing it
    // must survive that, so the first choice of the restored program after a
    // restore changes nothing.
    if (restoredProgram.exchange (-1) == index)
    {
        currentProgram.store (index);
        return;
    }

    currentProgram.store (index);

    // The recall sets parameters through their objects, so that hosts hear
    // of each change. Off the message thread (a host's audio thread, say,
    // delivering the change inside its process call) that would take the
    // framework's locks, and wrappers pass such changes on late, after a
    // state the host restores next. So there the recall is left to the
    // message thread; a state restored before it runs cancels it.
    auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();

    if (messageManager == nullptr || messageManager->isThisTheMessageThread())
    {
        pendingProgram.store (-1);
        recallProgram (index);
    }
    else
    {
        pendingProgram.store (index);
        changeNotifier.runWorkOnMessageThread();
    }

    changeNotifier.notify();
}

void TessaroAudioProcessor::recallPendingProgram()
{
    const auto index = pendingProgram.exchange (-1);

    if (index >= 0)
        recallProgram (index);
}

void TessaroAudioProcessor::recallProgram (int index)
{
    recalledProgram.store (index);

    // Program i is the preset of the same name: the first rows of the table.
    TessaroPresets::recall (valueTreeState, index);
}
const juce::String TessaroAudioProcessor::getProgramName (int index) { return presetNames[index]; }
void TessaroAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
void TessaroAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto state = valueTreeState.copyState();

    // The program the parameters last came from goes with the state, so
    // that a host choosing it again after a restore can be recognised. The
    // default program writes nothing: such blocks stay as they always were.
    if (const auto program = recalledProgram.load(); program != 0)
        state.setProperty (programProperty, program, nullptr);

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

    const auto program = (int) tree.getProperty (programProperty, 0);
    tree.removeProperty (programProperty, nullptr);
    valueTreeState.replaceState (tree);

    // The restored state is newer than a program chosen before it and not
    // yet recalled.
    const auto restored = juce::isPositiveAndBelow (program, numPrograms) ? program : 0;
    pendingProgram.store (-1);
    currentProgram.store (restored);
    recalledProgram.store (restored);
    restoredProgram.store (restored);
}

//==============================================================================
float TessaroAudioProcessor::rawValue (int index) const noexcept
{
    const auto value = rawValues[(size_t) index]->load (std::memory_order_relaxed);
    return std::isfinite (value) ? value : TessaroParameters::table()[(size_t) index].defaultValue;
}

ChainDesigner::Inputs TessaroAudioProcessor::currentInputs() const noexcept
{
    using P = TessaroParameters;

    ChainDesigner::Inputs inputs;
    inputs.microphone = rawValue (P::microphone);
    inputs.windCover = rawValue (P::windCover);
    inputs.lowCut = requestedLowCut.load (std::memory_order_relaxed);
    inputs.distance = rawValue (P::distance);
    inputs.aimingAccurancy = rawValue (P::aimingAccurancy);
    inputs.freeField = rawValue (P::freeField);
    return inputs;
}

void TessaroAudioProcessor::parameterChanged (const juce::String& parameterID, float newValue)
{
    const auto index = TessaroParameters::indexOf (parameterID);

    if (index < 0)
        return;

    if (index == TessaroParameters::lowCut)
        requestedLowCut.store (newValue, std::memory_order_relaxed);

    handOver.requestRedesign (bit (index));
    changeNotifier.notify();
}

//==============================================================================
void TessaroAudioProcessor::refreshModel() const
{
    if (handOver.takeModelDesign() || ! model.hasDesign())
        model.update (handOver.modelDesign());
}

std::vector<double> TessaroAudioProcessor::getCombinedResponse() const
{
    const juce::ScopedLock lock (modelLock);
    refreshModel();
    return model.getCombinedResponse();
}

std::vector<double> TessaroAudioProcessor::getBandMagnitudes (int band) const
{
    const juce::ScopedLock lock (modelLock);
    refreshModel();
    return juce::isPositiveAndBelow (band, numBands) ? model.getBands()[(size_t) band].magnitudes : std::vector<double>();
}

ChainDesign TessaroAudioProcessor::getDesign() const
{
    const juce::ScopedLock lock (modelLock);
    refreshModel();
    return model.getDesign();
}

void TessaroAudioProcessor::buildResponsePath (juce::Path& path, const juce::Rectangle<float>& area) const
{
    const juce::ScopedLock lock (modelLock);
    refreshModel();

    const auto& response = model.getCombinedResponse();
    path.startNewSubPath (area.getX(), ResponseGraphScale::yForMagnitude (response[0], area));

    for (int i = 1; i < numGridPoints; ++i)
        path.lineTo (ResponseGraphScale::xForGridPoint (i, numGridPoints, area),
                     ResponseGraphScale::yForMagnitude (response[(size_t) i], area));
}
