#pragma once

#include "processor/TessaroAudioProcessor.h"
#include "processor/TessaroParameters.h"

#include <cmath>
#include <complex>
#include <vector>

namespace test
{
    inline juce::RangedAudioParameter& parameter (TessaroAudioProcessor& p, const char* id)
    {
        auto* param = p.getValueTreeState().getParameter (id);
        jassert (param != nullptr);
        return *param;
    }

    /** Sets a parameter the way a host or an attachment does. */
    inline void set (TessaroAudioProcessor& p, const char* id, float value)
    {
        auto& param = parameter (p, id);
        param.setValueNotifyingHost (param.convertTo0to1 (value));
    }

    inline float get (TessaroAudioProcessor& p, const char* id)
    {
        return p.getValueTreeState().getRawParameterValue (id)->load();
    }

    inline juce::MemoryBlock state (TessaroAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    inline void restore (TessaroAudioProcessor& p, const juce::MemoryBlock& block)
    {
        p.setStateInformation (block.getData(), (int) block.getSize());
    }

    /** A state block around any XML text, laid out as the processor writes it. */
    inline juce::MemoryBlock blockWithXml (const juce::String& xml)
    {
        juce::MemoryOutputStream out;
        out.writeInt ((int) TessaroAudioProcessor::stateBlockMagic);
        const auto utf8 = xml.toUTF8();
        const auto length = (int) utf8.sizeInBytes() - 1;
        out.writeInt (length);
        out.write (utf8.getAddress(), (size_t) length);
        out.writeByte (0);
        return out.getMemoryBlock();
    }

    /** White noise in [-1, 1) in one channel, the same for the same seed. */
    inline juce::AudioBuffer<float> noise (int length, int seed)
    {
        juce::Random random (seed);
        juce::AudioBuffer<float> buffer (1, length);
        for (int i = 0; i < length; ++i)
            buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);
        return buffer;
    }

    /** A processor that records which parameters reached parameterChanged,
        as ids and as "id=value". */
    struct RecordingProcessor : TessaroAudioProcessor
    {
        void parameterChanged (const juce::String& id, float value) override
        {
            calls.add (id);
            callsWithValues.add (id + "=" + juce::String (value));
            TessaroAudioProcessor::parameterChanged (id, value);
        }

        juce::StringArray calls, callsWithValues;
    };

    inline double toDb (double gain) { return 20.0 * std::log10 (gain); }

    /** Runs a unit impulse through processBlock in one block. */
    inline std::vector<float> impulseResponse (TessaroAudioProcessor& p, int length)
    {
        juce::AudioBuffer<float> buffer (1, length);
        buffer.clear();
        buffer.setSample (0, 0, 1.0f);
        juce::MidiBuffer midi;
        p.processBlock (buffer, midi);
        return { buffer.getReadPointer (0), buffer.getReadPointer (0) + length };
    }

    /** |H(f)| of an impulse response, by direct evaluation of its transform. */
    inline double magnitudeAt (const std::vector<float>& h, double frequency, double sampleRate)
    {
        const auto w = juce::MathConstants<double>::twoPi * frequency / sampleRate;
        std::complex<double> sum = 0.0, rotation = std::polar (1.0, -w), phase = 1.0;

        for (auto v : h)
        {
            sum += (double) v * phase;
            phase *= rotation;
        }

        return std::abs (sum);
    }
}
