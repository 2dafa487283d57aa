#include "helpers/MouseEvents.h"
#include "helpers/ProcessorHelpers.h"
#include "editor/TessaroAudioProcessorEditor.h"
#include "processor/TessaroPresets.h"

#include <gtest/gtest.h>

/** The tests' view of the editor's children. */
struct EditorInspector
{
    explicit EditorInspector (TessaroAudioProcessorEditor& e) : editor (e) {}
    TessaroAudioProcessorEditor& editor;

    auto& presetBox() { return editor.presetBox; }
    auto& microphoneBox() { return editor.microphoneBox; }
    auto& windCoverBox() { return editor.windCoverBox; }
    auto& lowCutButton() { return editor.lowCutButton; }
    auto& distanceSlider() { return editor.distanceSlider; }
    auto& aimingSlider() { return editor.aimingSlider; }
    auto& freeFieldSlider() { return editor.freeFieldSlider; }
    auto& aboutView() { return *editor.aboutView; }
    auto& versionLabel() { return editor.versionLabel; }
    juce::TooltipWindow* tooltipWindow() { return &editor.tooltipWindow.get(); }
};

namespace
{
    void deliverMessages() { juce::MessageManager::getInstance()->runDispatchLoopUntil (30); }

    struct EditorTest : ::testing::Test
    {
        void SetUp() override
        {
            processor.prepareToPlay (48000.0, 512);
            editor = std::make_unique<TessaroAudioProcessorEditor> (processor);
        }

        void TearDown() override { editor.reset(); }

        EditorInspector inspect() { return EditorInspector (*editor); }

        juce::Image snapshot()
        {
            deliverMessages();
            return editor->createComponentSnapshot (editor->getLocalBounds(), false, 1.0f);
        }

        TessaroAudioProcessor processor;
        std::unique_ptr<TessaroAudioProcessorEditor> editor;
    };

    bool isCrimson (juce::Colour c) { return c.getRed() > c.getGreen() + 50 && c.getRed() > c.getBlue() + 30; }
}

TEST_F (EditorTest, FixedSizeAndTheLayoutOfEveryChild)
{
    EXPECT_EQ (editor->getWidth(), 1000);
    EXPECT_EQ (editor->getHeight(), 638);
    EXPECT_FALSE (editor->isResizable());

    struct Row
    {
        const char* text;
        juce::Rectangle<int> bounds;
    };
    // clang-format off
    const Row labels[] {
        { "Velmoor TessaroEQ", { 30, 32, 360, 40 } },   { "Setup", { 148, 112, 200, 26 } },
        { "Recording Properties", { 566, 112, 210, 26 } }, { "Microphone", { 34, 145, 200, 26 } },
        { "Low Cut", { 34, 211, 225, 26 } },             { "Preset", { 34, 178, 200, 26 } },
        { "Wind Cover", { 34, 245, 200, 26 } },          { "Distance", { 373, 145, 225, 26 } },
        { "Close", { 541, 164, 100, 20 } },              { "Far Off", { 872, 166, 100, 20 } },
        { "Aim Inaccuracy", { 373, 195, 225, 26 } },     { "On Center", { 541, 215, 100, 20 } },
        { "Off Center", { 854, 215, 100, 20 } },         { "Diffuse/Free Field", { 373, 245, 225, 26 } },
        { "Pure Diffuse Field", { 541, 264, 112, 20 } }, { "Pure Free Field", { 836, 264, 100, 20 } },
        { "Version: 1.1.0", { 912, 618, 84, 20 } },
    };
    // clang-format on

    std::map<juce::String, juce::Rectangle<int>> found;
    std::vector<juce::Component*> order;
    for (auto* child : editor->getChildren())
    {
        order.push_back (child);
        if (auto* label = dynamic_cast<juce::Label*> (child))
            found[label->getText()] = label->getBounds();
    }

    for (const auto& row : labels)
    {
        ASSERT_EQ (found.count (row.text), 1u) << row.text;
        EXPECT_EQ (found[row.text], row.bounds) << row.text;
    }

    auto in = inspect();
    EXPECT_EQ (in.microphoneBox().getBounds(), juce::Rectangle<int> (148, 145, 175, 26));
    EXPECT_EQ (in.windCoverBox().getBounds(), juce::Rectangle<int> (148, 245, 175, 26));
    EXPECT_EQ (in.presetBox().getBounds(), juce::Rectangle<int> (173, 178, 150, 26));
    EXPECT_EQ (in.lowCutButton().getBounds(), juce::Rectangle<int> (296, 211, 26, 26));
    EXPECT_EQ (in.distanceSlider().getBounds(), juce::Rectangle<int> (536, 145, 435, 26));
    EXPECT_EQ (in.aimingSlider().getBounds(), juce::Rectangle<int> (536, 195, 435, 26));
    EXPECT_EQ (in.freeFieldSlider().getBounds(), juce::Rectangle<int> (536, 245, 435, 26));
    EXPECT_EQ (in.aboutView().getBounds(), editor->getLocalBounds());
    EXPECT_FALSE (in.aboutView().isVisible());
    EXPECT_EQ (order.back(), &in.aboutView());   // topmost
    EXPECT_FLOAT_EQ (in.versionLabel().getAlpha(), 0.6f);

    juce::StringArray infoButtons;
    for (auto* child : editor->getChildren())
        if (auto* button = dynamic_cast<juce::DrawableButton*> (child))
            infoButtons.add (button->getName() + " " + button->getBounds().toString());
    EXPECT_EQ (infoButtons.joinIntoString (", "),
               "buttonDistanceInfo 345 140 35 35, buttonAimingInfo 345 190 35 35, buttonFreeFieldInfo 345 240 35 35");

    EXPECT_EQ (in.microphoneBox().getItemText (2), "Model C (Omnidirectional)");
    EXPECT_EQ (in.windCoverBox().getItemText (2), "High Wind Cover (HWC)");
    EXPECT_EQ (in.presetBox().getNumItems(), 9);
    EXPECT_EQ (in.presetBox().getItemText (8), "Sport (Close)");
}

namespace
{
    /** The font a label or choice box really draws with: the window's look
        picks the typeface for the framework's default face. */
    juce::Font drawnFont (juce::LookAndFeel& look, juce::Font font)
    {
        if (font.getTypefaceName() != juce::Font::getDefaultSansSerifFontName())
            return font;

        juce::Font resolved (look.getTypefaceForFont (font));
        resolved.setHeight (font.getHeight());
        resolved.setHorizontalScale (font.getHorizontalScale());
        resolved.setExtraKerningFactor (font.getExtraKerningFactor());
        return resolved;
    }

    /** Where a label's text lands: its width in the font, placed in the
        label's text area by its justification. */
    juce::Rectangle<float> textBounds (juce::Label& label, juce::LookAndFeel& look)
    {
        const auto font = drawnFont (look, look.getLabelFont (label));
        const auto area = label.getBorderSize().subtractedFrom (label.getBounds()).toFloat();
        return label.getJustificationType().appliedToRectangle (
            juce::Rectangle<float> (font.getStringWidthFloat (label.getText()), font.getHeight()), area);
    }
}

TEST_F (EditorTest, EveryCaptionAndChoiceIsShownWhole)
{
    auto& look = editor->getLookAndFeel();
    const auto window = editor->getLocalBounds().toFloat();

    // What a caption's text may not run into: the controls and the other
    // captions' texts. The about panel is hidden.
    struct Obstacle
    {
        juce::Component* owner;
        juce::Rectangle<float> area;
    };
    std::vector<Obstacle> obstacles;
    for (auto* child : editor->getChildren())
    {
        if (! child->isVisible())
            continue;
        if (auto* label = dynamic_cast<juce::Label*> (child))
            obstacles.push_back ({ child, textBounds (*label, look) });
        else
            obstacles.push_back ({ child, child->getBounds().toFloat() });
    }

    int captions = 0;
    for (auto* child : editor->getChildren())
    {
        auto* label = dynamic_cast<juce::Label*> (child);
        if (label == nullptr)
            continue;
        ++captions;

        // The space left to the text: the label's own text area, the window,
        // and the nearest control or caption that starts to its right on the
        // same line.
        const auto text = textBounds (*label, look);
        auto right = juce::jmin ((float) label->getBorderSize().subtractedFrom (label->getBounds()).getRight(), window.getRight());
        juce::String stop = "its own width ends";
        for (const auto& o : obstacles)
        {
            if (o.owner != child && o.area.getX() >= text.getX() && o.area.getX() < right
                && o.area.getY() < text.getBottom() && o.area.getBottom() > text.getY())
            {
                right = o.area.getX();
                auto* other = dynamic_cast<juce::Label*> (o.owner);
                stop = (other != nullptr ? "the caption \"" + other->getText() : "the control \"" + o.owner->getTitle()) + "\" starts";
            }
        }

        EXPECT_LE (text.getRight(), right)
            << '"' << label->getText() << "\" needs " << text.getWidth() << " px from x = " << text.getX()
            << " but the space ends at x = " << right << ", where " << stop;
    }
    EXPECT_EQ (captions, 17);

    // Each choice of each box shown whole in the box's own text area.
    auto in = inspect();
    for (auto* box : { &in.microphoneBox(), &in.windCoverBox(), &in.presetBox() })
    {
        juce::Label* shown = nullptr;
        for (auto* child : box->getChildren())
            if (auto* l = dynamic_cast<juce::Label*> (child))
                shown = l;
        ASSERT_NE (shown, nullptr) << box->getTitle().toRawUTF8();

        // Text wider than the area is squeezed down to the label's minimum
        // scale; past that it is cut and ends in an ellipsis.
        const auto font = drawnFont (look, look.getComboBoxFont (*box));
        const auto space = (float) shown->getBorderSize().subtractedFrom (shown->getLocalBounds()).getWidth();
        const auto minimumScale = shown->getMinimumHorizontalScale() > 0.0f ? shown->getMinimumHorizontalScale()
                                                                            : juce::Font::getDefaultMinimumHorizontalScaleFactor();
        for (int i = 0; i < box->getNumItems(); ++i)
        {
            const auto width = font.getStringWidthFloat (box->getItemText (i));
            EXPECT_LE (width * minimumScale, space)
                << box->getTitle() << ": \"" << box->getItemText (i) << "\" needs " << width << " px, squeezed at most to "
                << width * minimumScale << ", in " << space;
        }
    }
}

TEST_F (EditorTest, TooltipsAndAccessibleNames)
{
    auto in = inspect();
    EXPECT_EQ (in.lowCutButton().getTooltip(), "Low cut to avoid handling noise.");
    EXPECT_EQ (in.distanceSlider().getTooltip(), "Set the rough distance between the microphone and the sound source during the recording.");
    EXPECT_EQ (in.aimingSlider().getTooltip(), "Set how accurately the parabolic dish was aimed towards the sound source.");
    EXPECT_TRUE (in.freeFieldSlider().getTooltip().startsWith ("Set slider to match the ratio"));

    for (auto* child : editor->getChildren())
    {
        if (dynamic_cast<juce::Label*> (child) != nullptr || child == &in.aboutView())
            continue;
        SCOPED_TRACE (child->getName());
        EXPECT_TRUE (child->getTitle().isNotEmpty());
        if (auto* tip = dynamic_cast<juce::TooltipClient*> (child); tip != nullptr && tip->getTooltip().isNotEmpty())
        {
            EXPECT_EQ (child->getDescription(), tip->getTooltip());
        }
    }
    EXPECT_EQ (in.distanceSlider().getTitle(), "Distance");
}

TEST_F (EditorTest, ControlsFollowTheParametersBothWays)
{
    auto in = inspect();

    test::set (processor, "distance", 73.0f);   // host automation
    deliverMessages();
    EXPECT_EQ (in.distanceSlider().getValue(), 73.0);
    EXPECT_EQ (in.distanceSlider().getTextFromValue (in.distanceSlider().getValue()), "73 %");
    EXPECT_EQ (in.distanceSlider().getInterval(), 1.0);

    in.windCoverBox().setSelectedId (2, juce::sendNotificationSync);   // "Windjammer"
    deliverMessages();
    EXPECT_EQ (test::get (processor, "windCover"), 1.0f);

    test::set (processor, "microphone", 2.0f);
    deliverMessages();
    EXPECT_EQ (in.microphoneBox().getText(), "Model C (Omnidirectional)");

    test::set (processor, "lowCut", 0.0f);
    deliverMessages();
    EXPECT_FALSE (in.lowCutButton().getToggleState());

    in.aimingSlider().setValue (64.0, juce::sendNotificationSync);
    EXPECT_EQ (test::get (processor, "aimingAccurancy"), 64.0f);

    in.distanceSlider().mouseDown (test::mouseEvent (in.distanceSlider(), { 300.0f, 13.0f },
                                                     juce::ModifierKeys (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::leftButtonModifier)));
    deliverMessages();
    EXPECT_EQ (test::get (processor, "distance"), 0.0f);
}

TEST_F (EditorTest, PresetMenuRecallsThroughTheControls)
{
    for (const auto& preset : TessaroPresets::table())
    {
        SCOPED_TRACE (preset.name);
        TessaroAudioProcessor p;
        p.prepareToPlay (48000.0, 512);
        test::set (p, "microphone", 2.0f);
        test::set (p, "windCover", 1.0f);
        test::set (p, "lowCut", 0.0f);
        TessaroAudioProcessorEditor e (p);
        EditorInspector in (e);

        in.presetBox().setSelectedId (preset.itemId, juce::sendNotificationSync);
        deliverMessages();

        EXPECT_EQ (test::get (p, "microphone"), 2.0f);
        EXPECT_EQ (test::get (p, "windCover"), 1.0f);
        EXPECT_EQ (test::get (p, "lowCut"), 1.0f);
        EXPECT_FLOAT_EQ (test::get (p, "distance"), preset.distance);
        EXPECT_EQ (test::get (p, "aimingAccurancy"), 0.0f);
        EXPECT_FLOAT_EQ (test::get (p, "freeField"), preset.freeField);
        EXPECT_EQ (in.presetBox().getText(), preset.name);

        // Choosing the item already shown does nothing, even after a control moved.
        in.distanceSlider().setValue (33.0, juce::sendNotificationSync);
        in.presetBox().setSelectedId (preset.itemId, juce::sendNotificationSync);
        deliverMessages();
        EXPECT_FLOAT_EQ (test::get (p, "distance"), 33.0f);
    }

    // A reopened window starts with nothing chosen.
    auto in = inspect();
    EXPECT_EQ (in.presetBox().getSelectedId(), 0);
    EXPECT_EQ (in.presetBox().getTextWhenNothingSelected(), "Presets");
}

TEST_F (EditorTest, AboutPanelShowsOnlyWhileTheMarkIsHeld)
{
    auto in = inspect();
    struct Point
    {
        float x, y;
        bool shows;
    };
    // clang-format off
    const Point points[] { { 810, 35, true }, { 979, 74, true }, { 900, 50, true }, { 809, 50, false },
                           { 980, 50, false }, { 900, 34, false }, { 900, 75, false } };
    // clang-format on

    for (const auto& pt : points)
    {
        SCOPED_TRACE (juce::String (pt.x) + "," + juce::String (pt.y));
        editor->mouseDown (test::mouseEvent (*editor, { pt.x, pt.y }));
        EXPECT_EQ (in.aboutView().isVisible(), pt.shows);
        editor->mouseUp (test::mouseEvent (*editor, { 500.0f, 500.0f }));
        EXPECT_FALSE (in.aboutView().isVisible());
    }

    // A press that lands on a child (the editor hears it as a mouse listener) never shows it.
    editor->mouseDown (test::mouseEvent (in.lowCutButton(), { 900.0f, 50.0f }));
    EXPECT_FALSE (in.aboutView().isVisible());
}

TEST_F (EditorTest, EditorsShareOneTooltipWindow)
{
    juce::Component::SafePointer<juce::TooltipWindow> shared (inspect().tooltipWindow());
    ASSERT_NE (shared.getComponent(), nullptr);

    const auto drawsInTheHouseLook = [&] {
        return dynamic_cast<velmoor::juce_misc::look_and_feel*> (&shared->getLookAndFeel()) != nullptr;
    };

    {
        TessaroAudioProcessor other;
        TessaroAudioProcessorEditor second (other);
        EXPECT_EQ (EditorInspector (second).tooltipWindow(), shared.getComponent());
        EXPECT_TRUE (drawsInTheHouseLook());
    }
    EXPECT_NE (shared.getComponent(), nullptr);   // the first editor still holds it
    EXPECT_TRUE (drawsInTheHouseLook());          // closing the newer editor keeps the look

    editor.reset();
    EXPECT_EQ (shared.getComponent(), nullptr);   // gone with the last editor
    EXPECT_EQ (dynamic_cast<velmoor::juce_misc::look_and_feel*> (&juce::LookAndFeel::getDefaultLookAndFeel()), nullptr);
}

TEST_F (EditorTest, GraphFieldGridLabelsAndCurve)
{
    // Low cut off, far and diffuse, on axis: only the shelf shapes the curve,
    // which is flat in the middle of the band.
    test::set (processor, "lowCut", 0.0f);
    test::set (processor, "distance", 100.0f);
    test::set (processor, "freeField", 0.0f);
    test::set (processor, "aimingAccurancy", 0.0f);
    auto image = snapshot();

    for (int x : { 300, 400, 500 })
    {
        EXPECT_TRUE (isCrimson (image.getPixelAt (x, 528))) << x;   // the curve on the 0 dB line
        EXPECT_FALSE (isCrimson (image.getPixelAt (x, 524))) << x;
    }

    for (int x : { 44, 97, 135, 255, 346, 558, 649, 861, 952 })
    {
        const auto line = image.getPixelAt (x, 400), beside = image.getPixelAt (x + 2, 400);
        EXPECT_GT (line.getBrightness(), beside.getBrightness() + 0.15f) << x;
    }
    for (int y : { 362, 403, 445, 487 })
        EXPECT_GT (image.getPixelAt (100, y).getBrightness(), image.getPixelAt (100, y + 2).getBrightness() + 0.15f) << y;

    // The 20Hz label ends at the right of its box (22 to 62); nothing between it and the 50Hz one.
    auto darkIn = [&image] (int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += image.getPixelAt (x, y).getBrightness() < 0.3f ? 1 : 0;
        return n;
    };
    EXPECT_GT (darkIn (40, 62, 576, 590), 10);
    EXPECT_EQ (darkIn (64, 140, 576, 590), 0);

    // The decibel labels are white, right-aligned in boxes from x 924 to 974.
    auto whiteIn = [&image] (int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += image.getPixelAt (x, y).getBrightness() > 0.8f ? 1 : 0;
        return n;
    };
    for (int top : { 322, 363, 405, 447, 488, 530 })
    {
        EXPECT_GT (whiteIn (940, 975, top + 1, top + 13), 10) << top;
        EXPECT_EQ (whiteIn (880, 920, top + 1, top + 13), 0) << top;
    }

    // A strong correction: the curve leaves the field at 20 Hz, and is clipped to it.
    test::set (processor, "lowCut", 1.0f);
    test::set (processor, "distance", 0.0f);
    test::set (processor, "freeField", 100.0f);
    test::set (processor, "windCover", 1.0f);
    image = snapshot();
    int outside = 0, inside = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (isCrimson (image.getPixelAt (x, y)))
                (juce::Rectangle<int> (24, 320, 952, 250).contains (x, y) ? inside : outside)++;
    EXPECT_GT (inside, 500);
    EXPECT_EQ (outside, 0);
}

TEST (EditorBeforePrepare, DrawsAFiniteCurve)
{
    TessaroAudioProcessor processor;
    TessaroAudioProcessorEditor editor (processor);
    const auto image = editor.createComponentSnapshot (editor.getLocalBounds(), false, 1.0f);
    EXPECT_FALSE (image.isNull());

    // Nothing is designed yet: the curve lies on the field's bottom edge.
    juce::Path path;
    processor.buildResponsePath (path, { 24.0f, 320.0f, 952.0f, 250.0f });
    const auto bounds = path.getBounds();
    EXPECT_TRUE (std::isfinite (bounds.getX()) && std::isfinite (bounds.getBottom()));
    EXPECT_FLOAT_EQ (bounds.getY(), 570.0f);
    EXPECT_FLOAT_EQ (bounds.getBottom(), 570.0f);
}
