#include "helpers/ProcessorHelpers.h"

#include <gtest/gtest.h>

namespace
{
    using test::RecordingProcessor;

    const juce::String freshXml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <TessaroEQ>"
        "<PARAM id=\"aimingAccurancy\" value=\"20.0\"/><PARAM id=\"distance\" value=\"50.0\"/>"
        "<PARAM id=\"freeField\" value=\"35.0\"/><PARAM id=\"lowCut\" value=\"1.0\"/>"
        "<PARAM id=\"microphone\" value=\"0.0\"/><PARAM id=\"windCover\" value=\"0.0\"/></TessaroEQ>";

    /** A block whose root holds a chain of elements `levels` deep, with a
        distance child that a reader would apply. */
    juce::MemoryBlock nestedBlock (int levels)
    {
        return test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/>"
                                   + juce::String::repeatedString ("<n>", levels - 1)
                                   + juce::String::repeatedString ("</n>", levels - 1) + "</TessaroEQ>");
    }

    juce::String savedValueOf (TessaroAudioProcessor& p, const char* id)
    {
        const auto block = test::state (p);
        const auto xml = TessaroAudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
        auto* child = xml != nullptr ? xml->getChildByAttribute ("id", id) : nullptr;
        return child != nullptr ? child->getStringAttribute ("value", "<none>") : "<no child>";
    }

    std::vector<float> allValues (TessaroAudioProcessor& p)
    {
        std::vector<float> values;
        for (int i = 0; i < TessaroParameters::count; ++i)
            values.push_back (test::get (p, TessaroParameters::idOf (i)));
        return values;
    }
}

TEST (State, FreshProcessorWritesTheExactBlock)
{
    TessaroAudioProcessor p;
    const auto block = test::state (p);
    const auto* bytes = static_cast<const juce::uint8*> (block.getData());

    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes), 0x21324356u);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (juce::uint32) block.getSize() - 9);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);
    EXPECT_EQ (juce::String::fromUTF8 ((const char*) bytes + 8, (int) block.getSize() - 9), freshXml);
    EXPECT_EQ (block, test::blockWithXml (freshXml));
}

TEST (State, RoundTripRestoresValuesAndIsSilentWhenNothingChanges)
{
    TessaroAudioProcessor source;
    test::set (source, "microphone", 2.0f);
    test::set (source, "windCover", 1.0f);
    test::set (source, "lowCut", 0.0f);
    test::set (source, "distance", 37.2f);
    test::set (source, "aimingAccurancy", 12.5f);
    test::set (source, "freeField", 99.0f);
    const auto block = test::state (source);

    RecordingProcessor target;
    test::restore (target, block);
    EXPECT_EQ (allValues (target), allValues (source));
    EXPECT_EQ (target.calls.size(), 6);
    EXPECT_EQ (test::state (target), block);

    target.calls.clear();
    test::restore (target, block);
    EXPECT_TRUE (target.calls.isEmpty());
}

TEST (State, RootNameIgnoresLetterCaseOnly)
{
    {
        TessaroAudioProcessor p;
        test::restore (p, test::blockWithXml ("<tessaroeq><PARAM id=\"distance\" value=\"80.0\"/></tessaroeq>"));
        EXPECT_FLOAT_EQ (test::get (p, "distance"), 80.0f);
    }
    {
        TessaroAudioProcessor p;
        test::restore (p, test::blockWithXml ("<OtherEQ><PARAM id=\"distance\" value=\"80.0\"/></OtherEQ>"));
        EXPECT_FLOAT_EQ (test::get (p, "distance"), 50.0f);
    }
}

TEST (State, PartialBlockAppendsMissingChildrenAndKeepsUnknownOnes)
{
    RecordingProcessor p;
    test::set (p, "freeField", 60.0f);
    p.calls.clear();

    test::restore (p, test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/>"
                                          "<PARAM id=\"futureKnob\" value=\"3.0\"/><Extra note=\"kept\"/></TessaroEQ>"));

    EXPECT_EQ (p.calls, juce::StringArray ("distance"));
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 80.0f);
    EXPECT_FLOAT_EQ (test::get (p, "freeField"), 60.0f);
    EXPECT_FLOAT_EQ (test::get (p, "aimingAccurancy"), 20.0f);

    const auto xml = p.getXmlFromBinary (test::state (p).getData(), (int) test::state (p).getSize());
    ASSERT_NE (xml, nullptr);
    juce::StringArray order;
    for (auto* child : xml->getChildIterator())
        order.add (child->getTagName() + ":" + child->getStringAttribute ("id"));

    EXPECT_EQ (order.joinIntoString (","),
               "PARAM:distance,PARAM:futureKnob,Extra:,PARAM:aimingAccurancy,PARAM:freeField,"
               "PARAM:lowCut,PARAM:microphone,PARAM:windCover");
    EXPECT_EQ (xml->getChildByAttribute ("id", "futureKnob")->getStringAttribute ("value"), "3.0");
}

TEST (State, StoredValuesAreClampedSnappedOrDefaulted)
{
    struct Case
    {
        const char* id;
        const char* stored;
        float expected;
    };
    // clang-format off
    const Case cases[] {
        { "distance",        "150",   100.0f },
        { "distance",        "-20",   0.0f },
        { "windCover",       "1.4",   1.0f },
        { "windCover",       "1.6",   2.0f },
        { "lowCut",          "0.2",   0.0f },
        { "microphone",      "1.4",   1.4f },
        { "freeField",       "nan",   35.0f },   // not a number: read as no value, so the default
        { "freeField",       "inf",   35.0f },
        { "freeField",       "1e999", 35.0f },
        { "freeField",       "abc",   35.0f },
        { "freeField",       "",      35.0f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + " = '" + c.stored + "'");
        TessaroAudioProcessor p;
        test::set (p, "freeField", 70.0f);
        test::restore (p, test::blockWithXml (juce::String ("<TessaroEQ><PARAM id=\"") + c.id + "\" value=\"" + c.stored + "\"/></TessaroEQ>"));
        EXPECT_FLOAT_EQ (test::get (p, c.id), c.expected);
        EXPECT_TRUE (std::isfinite (test::get (p, c.id)));
    }
}

TEST (State, DamagedBlocksAreIgnoredWithEveryValueKept)
{
    const auto good = test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/></TessaroEQ>");

    auto withLength = [&] (juce::uint32 length) {
        auto block = good;
        auto* bytes = static_cast<juce::uint8*> (block.getData());
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = (juce::uint8) (length >> (8 * i));
        return block;
    };

    auto wrongMagic = good;
    static_cast<char*> (wrongMagic.getData())[0] = 'X';

    const juce::MemoryBlock eightBytes (good.getData(), 8);
    const auto badUtf8 = [&] { auto b = good; static_cast<juce::uint8*> (b.getData())[40] = 0xff; return b; }();

    struct Case
    {
        const char* name;
        juce::MemoryBlock block;
    };
    // clang-format off
    const Case cases[] {
        { "empty",               juce::MemoryBlock() },
        { "eight bytes",         eightBytes },
        { "wrong magic",         wrongMagic },
        { "zero length",         withLength (0) },
        { "negative length",     withLength (0x80000010u) },
        { "bad UTF-8",           badUtf8 },
        { "bad XML",             test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"></TessaroEQ>") },
        { "not XML",             test::blockWithXml ("distance=80") },
        { "another root",        test::blockWithXml ("<Other><PARAM id=\"distance\" value=\"80.0\"/></Other>") },
        { "truncated",           juce::MemoryBlock (good.getData(), good.getSize() / 2) },
        // Hostile blocks from a session file: the framework's XML reader
        // recurses per level and would overflow the stack; a huge block is
        // nothing a real state comes near.
        { "nested 30000 deep",   nestedBlock (30000) },
        { "nested 17 deep",      nestedBlock (17) },
        { "over 1 MB",           test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/><Pad text=\""
                                                     + juce::String::repeatedString ("x", 1 << 20) + "\"/></TessaroEQ>") },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        RecordingProcessor p;
        test::set (p, "aimingAccurancy", 64.0f);
        p.calls.clear();
        const auto before = test::state (p);

        p.setStateInformation (c.block.getData(), (int) c.block.getSize());

        EXPECT_TRUE (p.calls.isEmpty());
        EXPECT_EQ (test::state (p), before);
    }

    TessaroAudioProcessor p;
    p.setStateInformation (nullptr, 100);
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 50.0f);
}

// Blocks that are unusual but intact are read: a length field running past
// the block reads what the block holds, and depth up to the bound is fine.
TEST (State, UnusualButIntactBlocksAreRead)
{
    const auto good = test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/></TessaroEQ>");
    auto longLength = good;
    auto* bytes = static_cast<juce::uint8*> (longLength.getData());
    bytes[4] = 0xff;
    bytes[5] = 0xff;
    bytes[6] = 0x00;
    bytes[7] = 0x00;

    const auto manySiblings = test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"80.0\"/>"
                                                  + juce::String::repeatedString ("<n/>", 5000) + "</TessaroEQ>");

    struct Case
    {
        const char* name;
        juce::MemoryBlock block;
    };
    // clang-format off
    const Case cases[] {
        { "length past the end", longLength },
        { "nested 16 deep",      nestedBlock (16) },
        { "5000 siblings",       manySiblings },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TessaroAudioProcessor p;
        p.setStateInformation (c.block.getData(), (int) c.block.getSize());
        EXPECT_FLOAT_EQ (test::get (p, "distance"), 80.0f);
    }
}

TEST (State, UnusableValuesAreReplacedOnlyInParameterChildrenAndSavedAsInForce)
{
    TessaroAudioProcessor p;
    test::set (p, "distance", 70.0f);
    test::restore (p, test::blockWithXml ("<TessaroEQ><PARAM id=\"distance\" value=\"nan\"/>"
                                          "<PARAM id=\"futureKnob\" value=\"abc\"/><Extra value=\"inf\"/></TessaroEQ>"));

    // The parameter takes its default and the next save says so, rather than
    // writing a child without a value.
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 50.0f);
    EXPECT_EQ (savedValueOf (p, "distance").getFloatValue(), 50.0f);

    // Children that are not parameters are kept exactly as they came.
    EXPECT_EQ (savedValueOf (p, "futureKnob"), "abc");
    const auto block = test::state (p);
    const auto xml = TessaroAudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
    ASSERT_NE (xml, nullptr);
    ASSERT_NE (xml->getChildByName ("Extra"), nullptr);
    EXPECT_EQ (xml->getChildByName ("Extra")->getStringAttribute ("value"), "inf");
}

TEST (State, HostTextsAndUnits)
{
    TessaroAudioProcessor p;
    auto& distance = test::parameter (p, "distance");
    EXPECT_EQ (distance.getCurrentValueAsText(), "50.0000000");
    EXPECT_EQ (distance.getLabel(), "%");
    EXPECT_EQ (distance.getText (distance.getValue(), 4), "50.0");
    EXPECT_FLOAT_EQ (distance.convertFrom0to1 (distance.getValueForText ("12.5")), 12.5f);

    test::set (p, "windCover", 2.0f);
    EXPECT_EQ (test::parameter (p, "windCover").getCurrentValueAsText(), "2");

    struct Expected
    {
        const char* id;
        const char* name;
        int steps;
        bool discrete;
    };
    const Expected table[] {
        { "microphone", "Microphone", 0x7fffffff, false },
        { "windCover", "Wind Cover", 3, false },
        { "lowCut", "Low Cut", 2, false },
        { "distance", "Distance", 0x7fffffff, false },
        { "aimingAccurancy", "Aim Inaccuracy Compensation", 0x7fffffff, false },
        { "freeField", "Free Field", 0x7fffffff, false },
    };

    const auto& params = p.getParameters();
    ASSERT_EQ (params.size(), 6);

    for (int i = 0; i < 6; ++i)
    {
        SCOPED_TRACE (table[i].id);
        auto* param = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (param, nullptr);
        EXPECT_EQ (param->paramID, table[i].id);
        EXPECT_EQ (param->getName (100), table[i].name);
        EXPECT_EQ (param->getNumSteps(), table[i].steps);
        EXPECT_EQ (param->isDiscrete(), table[i].discrete);
        EXPECT_TRUE (param->isAutomatable());
        EXPECT_FALSE (param->isMetaParameter());
        EXPECT_FALSE (param->isBoolean());
    }
}
