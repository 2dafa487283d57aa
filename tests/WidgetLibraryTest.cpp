#include "helpers/MouseEvents.h"
#include "juce_misc/about_view.h"
#include "juce_misc/custom_slider.h"
#include "juce_misc/look_and_feel.h"

#include <BinaryData.h>
#include <gtest/gtest.h>

using velmoor::juce_misc::look_and_feel;

namespace
{
    constexpr juce::uint32 lightGrey = 0xffc5c5c8;

    /** Paints a component (and its children) into an opaque image. */
    juce::Image paintComponent (juce::Component& c, juce::Colour background = juce::Colours::white)
    {
        juce::Image image (juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
        juce::Graphics g (image);
        g.fillAll (background);
        c.paintEntireComponent (g, false);
        return image;
    }

    juce::uint32 argb (const juce::Image& image, int x, int y) { return image.getPixelAt (x, y).getARGB(); }
    bool isBlack (const juce::Image& image, int x, int y) { return image.getPixelAt (x, y).getBrightness() < 0.1f; }

    struct LookAndFeelTest : ::testing::Test
    {
        look_and_feel lnf;
    };

    /** The editor's parameter slider: 435 x 26, 0 to 100 in steps of 1, value box at the right. */
    struct EditorSlider : juce::Slider
    {
        EditorSlider (juce::LookAndFeel& lnf, double value)
        {
            setLookAndFeel (&lnf);
            setRange (0.0, 100.0, 1.0);
            setTextBoxStyle (juce::Slider::TextBoxRight, false, 52, 26);
            setBounds (0, 0, 435, 26);
            setValue (value);
        }
        ~EditorSlider() override { setLookAndFeel (nullptr); }
    };

    juce::String faceOf (const juce::Typeface::Ptr& t) { return t->getName() + "/" + t->getStyle(); }

    juce::Typeface::Ptr embedded (const void* data, int size)
    {
        return juce::Typeface::createSystemTypefaceFor (data, (size_t) size);
    }
}

TEST_F (LookAndFeelTest, PaletteAndTheColoursLeftToTheFramework)
{
    ASSERT_EQ (look_and_feel::palette().size(), 107u);

    std::set<int> ids;
    for (const auto& entry : look_and_feel::palette())
    {
        EXPECT_TRUE (ids.insert (entry.colourId).second) << std::hex << entry.colourId;
        EXPECT_EQ (lnf.findColour (entry.colourId).getARGB(), entry.argb) << std::hex << entry.colourId;
    }

    struct Spot
    {
        int id;
        juce::uint32 argb;
    };
    const Spot spots[] {
        { juce::ComboBox::backgroundColourId, lightGrey },
        { juce::PopupMenu::highlightedBackgroundColourId, 0x329a243e },
        { juce::Slider::textBoxOutlineColourId, 0x00808080 },
        { juce::ScrollBar::thumbColourId, 0xffffffff },
        { juce::ComboBox::focusedOutlineColourId, 0xffbbbbff },   // left to LookAndFeel_V2
        { juce::TextEditor::shadowColourId, 0x00000000 },
    };
    for (const auto& s : spots)
        EXPECT_EQ (lnf.findColour (s.id).getARGB(), s.argb) << std::hex << s.id;

    juce::LookAndFeel_V2 v2;
    for (int id : { (int) juce::ComboBox::focusedOutlineColourId, (int) juce::TableHeaderComponent::backgroundColourId,
                    (int) juce::DirectoryContentsDisplayComponent::highlightedTextColourId })
        EXPECT_EQ (lnf.findColour (id), v2.findColour (id)) << std::hex << id;
}

TEST_F (LookAndFeelTest, OnlyBoldAlonePicksTheBoldFace)
{
    const auto bold = faceOf (embedded (BinaryData::LTe50329_ttf, BinaryData::LTe50329_ttfSize));
    const auto light = faceOf (embedded (BinaryData::LTe50327_ttf, BinaryData::LTe50327_ttfSize));
    ASSERT_NE (bold, light);

    struct Case
    {
        int style;
        bool expectBold;
    };
    const Case cases[] {
        { juce::Font::plain, false },
        { juce::Font::italic, false },
        { juce::Font::bold, true },
        { juce::Font::bold | juce::Font::italic, false },
        { juce::Font::bold | juce::Font::underlined, false },
        { juce::Font::underlined, false },
    };

    for (const auto& c : cases)
    {
        const juce::Font font ("Any Family Name", 17.0f, c.style);
        EXPECT_EQ (faceOf (lnf.getTypefaceForFont (font)), c.expectBold ? bold : light) << c.style;
    }

    for (int height : { 10, 26, 60 })
    {
        juce::ComboBox box;
        box.setSize (175, height);
        EXPECT_EQ (lnf.getComboBoxFont (box).getHeight(), 15.0f);
        EXPECT_EQ (lnf.getComboBoxFont (box).getStyleFlags(), juce::Font::plain);
    }
}

TEST_F (LookAndFeelTest, HorizontalSliderTrackThumbAndValueBox)
{
    // The editor's slider: 435 x 26, value box 52 x 26 at the right.
    struct Case
    {
        double value;
        int line;
    };
    for (const auto& c : { Case { 0.0, 9 }, Case { 100.0, 374 } })
    {
        EditorSlider slider (lnf, c.value);

        auto* box = slider.getChildComponent (0);
        ASSERT_NE (dynamic_cast<look_and_feel::SliderLabelComp*> (box), nullptr);
        EXPECT_EQ (box->getBounds(), juce::Rectangle<int> (383, 0, 52, 26));
        EXPECT_EQ (lnf.getSliderThumbRadius (slider), 9);

        const auto image = paintComponent (slider);
        // Track (9, 11, 365, 4) in 0xbe000000 over white.
        EXPECT_TRUE (isBlack (image, 100, 12) || image.getPixelAt (100, 12).getBrightness() < 0.3f);
        EXPECT_EQ (argb (image, 100, 10), 0xffffffff);
        EXPECT_EQ (argb (image, 100, 15), 0xffffffff);
        // The thumb block is black around its white line.
        EXPECT_EQ (argb (image, c.line, 13), 0xffffffff) << c.value;
        EXPECT_TRUE (isBlack (image, c.line - 3, 5));
        EXPECT_TRUE (isBlack (image, c.line + 3, 20));
        EXPECT_EQ (argb (image, c.line - 6, 4), 0xffffffff);
    }

    // A disabled slider keeps the same black thumb; the middle sits halfway.
    EditorSlider slider (lnf, 50.0);
    slider.setEnabled (false);
    const auto image = paintComponent (slider);
    EXPECT_TRUE (isBlack (image, 188, 5));
    EXPECT_TRUE (image.getPixelAt (191, 13).getBrightness() > 0.4f);
}

TEST_F (LookAndFeelTest, VerticalSliderTrackIsACentredColumn)
{
    juce::Slider slider (juce::Slider::LinearVertical, juce::Slider::NoTextBox);
    slider.setLookAndFeel (&lnf);
    slider.setBounds (0, 0, 40, 200);
    slider.setValue (slider.getMinimum());
    const auto image = paintComponent (slider);

    for (int y : { 20, 100 })
    {
        EXPECT_EQ (argb (image, 17, y), 0xffffffff);
        EXPECT_LT (image.getPixelAt (18, y).getBrightness(), 0.3f);
        EXPECT_LT (image.getPixelAt (21, y).getBrightness(), 0.3f);
        EXPECT_EQ (argb (image, 22, y), 0xffffffff);
    }
    slider.setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, RotaryKnobsAboveAndBelowTwelvePixels)
{
    auto knob = [this] (int size) {
        juce::Slider slider (juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::NoTextBox);
        slider.setLookAndFeel (&lnf);
        slider.setBounds (0, 0, size, size);
        slider.setValue (slider.getMinimum());   // pointer towards the lower left
        auto image = paintComponent (slider, juce::Colours::white);
        slider.setLookAndFeel (nullptr);
        return image;
    };

    const auto large = knob (30);   // radius 13: grey disc, black ring, pointer
    EXPECT_EQ (argb (large, 20, 11), lightGrey);
    EXPECT_TRUE (isBlack (large, 15, 4));    // the ring at the top
    EXPECT_TRUE (isBlack (large, 13, 13));   // the pointer's hub, beside its white hair-line

    const auto small = knob (28);   // radius 12: the framework's small knob, no grey disc
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 28; ++x)
            ASSERT_NE (argb (small, x, y), lightGrey) << x << "," << y;
}

TEST_F (LookAndFeelTest, ValueBoxIgnoresTheMouseWheel)
{
    EditorSlider slider (lnf, 50.0);

    auto* box = dynamic_cast<look_and_feel::SliderLabelComp*> (slider.getChildComponent (0));
    ASSERT_NE (box, nullptr);
    juce::MouseWheelDetails wheel { 0.0f, 1.0f, false, false, false };
    box->mouseWheelMove (test::mouseEvent (*box, { 10.0f, 10.0f }, {}), wheel);
    EXPECT_EQ (slider.getValue(), 50.0);

    slider.mouseWheelMove (test::mouseEvent (slider, { 100.0f, 10.0f }, {}), wheel);
    EXPECT_NE (slider.getValue(), 50.0);   // the slider itself still takes the wheel
}

TEST_F (LookAndFeelTest, ComboBoxArrowsAndNoneWhenDisabled)
{
    juce::ComboBox box;
    box.setLookAndFeel (&lnf);
    box.setBounds (0, 0, 175, 26);
    box.addItem ("Model A (Cardioid)", 1);

    ASSERT_EQ (box.getNumChildComponents(), 1);
    EXPECT_EQ (box.getChildComponent (0)->getBounds(), juce::Rectangle<int> (1, 1, 152, 24));

    auto image = paintComponent (box);
    EXPECT_EQ (argb (image, 0, 0), lightGrey);   // no outline
    EXPECT_EQ (argb (image, 174, 25), lightGrey);
    EXPECT_TRUE (isBlack (image, 164, 10));         // up arrow
    EXPECT_TRUE (isBlack (image, 164, 16));         // down arrow
    EXPECT_EQ (argb (image, 164, 13), lightGrey);   // the gap between them
    EXPECT_EQ (argb (image, 158, 10), lightGrey);

    box.setEnabled (false);
    image = paintComponent (box);
    EXPECT_EQ (argb (image, 164, 10), lightGrey);
    EXPECT_EQ (argb (image, 164, 16), lightGrey);
    box.setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, LabelsAndTickBox)
{
    juce::Label label ({}, "text");
    label.setBounds (0, 0, 80, 20);
    label.setColour (juce::Label::backgroundColourId, juce::Colours::red);
    juce::Image image (juce::Image::ARGB, 80, 20, true);
    {
        juce::Graphics g (image);
        lnf.drawLabel (g, label);
    }
    EXPECT_EQ (argb (image, 2, 2), 0xffff0000);

    label.setEditable (true);
    label.setLookAndFeel (&lnf);
    label.showEditor();
    ASSERT_TRUE (label.isBeingEdited());
    {
        juce::Graphics g (image);
        lnf.drawLabel (g, label);
    }
    EXPECT_EQ (argb (image, 2, 2), lightGrey);
    label.hideEditor (true);
    label.setLookAndFeel (nullptr);

    for (bool on : { false, true })
    {
        juce::ToggleButton toggle;
        toggle.setLookAndFeel (&lnf);
        toggle.setBounds (0, 0, 26, 26);
        toggle.setToggleState (on, juce::dontSendNotification);
        const auto tick = paintComponent (toggle);
        EXPECT_TRUE (isBlack (tick, 1, 12));    // left edge of the 12 x 12 square at (1, 7)
        EXPECT_TRUE (isBlack (tick, 8, 7));     // top edge
        EXPECT_TRUE (isBlack (tick, 12, 18));   // bottom right
        EXPECT_EQ (argb (tick, 8, 4), 0xffffffff);
        EXPECT_EQ (isBlack (tick, 7, 13), on);   // the filled square (3, 9, 8, 8)
        toggle.setLookAndFeel (nullptr);
    }
}

TEST_F (LookAndFeelTest, PopupMenuBackgroundItemsAndHeader)
{
    juce::Image image (juce::Image::ARGB, 200, 48, true);
    {
        juce::Graphics g (image);
        lnf.drawPopupMenuBackground (g, 200, 48);
        lnf.drawPopupMenuItem (g, { 0, 24, 200, 24 }, false, true, true, false, false, "Windjammer", {}, nullptr, nullptr);
    }

    EXPECT_EQ (argb (image, 100, 3), lightGrey);   // no stripes
    EXPECT_EQ (argb (image, 100, 5), lightGrey);
    const auto border = image.getPixelAt (0, 10);
    EXPECT_NEAR (border.getFloatRed(), 0.4f * 0xc5 / 255.0f, 0.02f);   // 60 % black over the grey
    const auto highlight = image.getPixelAt (190, 36);
    const auto expected = juce::Colour (lightGrey).overlaidWith (juce::Colour (0x329a243e));
    EXPECT_NEAR (highlight.getRed(), expected.getRed(), 1);
    EXPECT_NEAR (highlight.getGreen(), expected.getGreen(), 1);
    EXPECT_NEAR (highlight.getBlue(), expected.getBlue(), 1);

    const auto headerFont = lnf.getPopupMenuFont().boldened();
    EXPECT_EQ (faceOf (lnf.getTypefaceForFont (headerFont)),
               faceOf (embedded (BinaryData::LTe50329_ttf, BinaryData::LTe50329_ttfSize)));
    EXPECT_EQ (lnf.getPopupMenuFont().getHeight(), 17.0f);
}

TEST_F (LookAndFeelTest, TooltipBoundsOnBothSidesOfTheCentre)
{
    const juce::Rectangle<int> parent (0, 0, 1000, 800);

    const auto upperLeft = lnf.getTooltipBounds ("Low cut to avoid handling noise.", { 100, 100 }, parent);
    EXPECT_EQ (upperLeft.getPosition(), juce::Point<int> (124, 106));

    const auto lowerRight = lnf.getTooltipBounds ("Low cut to avoid handling noise.", { 900, 700 }, parent);
    EXPECT_EQ (lowerRight.getRight(), 888);
    EXPECT_EQ (lowerRight.getBottom(), 694);

    const auto clamped = lnf.getTooltipBounds ("Low cut to avoid handling noise.", { 5, 795 }, parent);
    EXPECT_TRUE (parent.contains (clamped));
}

TEST_F (LookAndFeelTest, TextEditorOutlines)
{
    auto outlineOf = [this] (bool enabled) {
        juce::TextEditor editor;
        editor.setBounds (0, 0, 60, 20);
        editor.setColour (juce::TextEditor::outlineColourId, juce::Colours::red);
        editor.setEnabled (enabled);
        juce::Image image (juce::Image::ARGB, 60, 20, true);
        juce::Graphics g (image);
        lnf.drawTextEditorOutline (g, 60, 20, editor);
        return argb (image, 30, 0);
    };

    EXPECT_EQ (outlineOf (false), 0u);           // disabled: nothing, even with an opaque colour
    EXPECT_EQ (outlineOf (true), 0xffff0000u);   // unfocused: the editor's outline colour

    // Focus needs a window on screen, so the rule is checked on its own.
    struct Case
    {
        bool enabled, focused, readOnly, outline;
    };
    for (const auto& c : { Case { true, false, false, true }, Case { true, true, false, false },
                           Case { true, true, true, true }, Case { false, false, false, false },
                           Case { false, true, true, false } })
        EXPECT_EQ (look_and_feel::hasTextEditorOutline (c.enabled, c.focused, c.readOnly), c.outline);

    juce::TextEditor plain;   // with the palette: transparent
    plain.setLookAndFeel (&lnf);
    juce::Image image (juce::Image::ARGB, 60, 20, true);
    {
        juce::Graphics g (image);
        lnf.drawTextEditorOutline (g, 60, 20, plain);
    }
    EXPECT_EQ (argb (image, 30, 0), 0u);
    plain.setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, TableHeaderRows)
{
    juce::TableHeaderComponent header;
    header.addColumn ("A", 1, 50);
    header.addColumn ("B", 2, 70);
    header.setBounds (0, 0, 200, 40);

    juce::Image image (juce::Image::ARGB, 200, 40, true);
    {
        juce::Graphics g (image);
        lnf.drawTableHeaderBackground (g, header);
    }

    EXPECT_EQ (argb (image, 10, 0), 0xffffffff);
    EXPECT_EQ (argb (image, 10, 19), 0xffffffff);
    EXPECT_NEAR (image.getPixelAt (10, 20).getFloatBlue(), 0xf9 / 255.0f, 0.01f);
    EXPECT_LT (image.getPixelAt (10, 20).getFloatRed(), 0.93f);   // 0xe8 at the top of the gradient
    EXPECT_LT (image.getPixelAt (10, 39).getBrightness(), image.getPixelAt (10, 38).getBrightness());
    EXPECT_LT (image.getPixelAt (49, 30).getBrightness(), image.getPixelAt (48, 30).getBrightness());   // column edges
    EXPECT_EQ (argb (image, 49, 10), 0xffccccccu);
    EXPECT_EQ (argb (image, 48, 10), 0xffffffffu);
}

TEST_F (LookAndFeelTest, DocumentWindowButtons)
{
    struct Case
    {
        int type;
        const char* name;
        float hue;
    };
    const Case cases[] { { juce::DocumentWindow::closeButton, "close", 0.01f },
                         { juce::DocumentWindow::minimiseButton, "minimise", 0.12f },
                         { juce::DocumentWindow::maximiseButton, "maximise", 0.33f } };

    for (const auto& c : cases)
    {
        std::unique_ptr<juce::Button> button (lnf.createDocumentWindowButton (c.type));
        ASSERT_NE (dynamic_cast<look_and_feel::GlassWindowButton*> (button.get()), nullptr);
        EXPECT_EQ (button->getName(), c.name);
        button->setSize (24, 24);
        const auto image = paintComponent (*button);
        const auto colour = image.getPixelAt (6, 16);   // in the sphere, off the symbol
        EXPECT_NEAR (colour.getHue(), c.hue, 0.06f) << c.name;
    }
    EXPECT_EQ (lnf.createDocumentWindowButton (99), nullptr);
}

TEST (CustomSlider, CtrlClickResetsAndPlainClicksDrag)
{
    struct Counter : juce::Slider::Listener
    {
        void sliderValueChanged (juce::Slider*) override { ++changes; }
        int changes = 0;
    };

    velmoor::juce_misc::custom_slider slider ("SliderDistance");
    EXPECT_EQ (slider.getName(), "SliderDistance");
    EXPECT_FALSE (slider.has_reset_value);
    slider.setRange (0.0, 100.0, 1.0);
    slider.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    slider.setBounds (0, 0, 435, 26);
    slider.setValue (70.0);
    Counter counter;
    slider.addListener (&counter);

    const auto ctrl = juce::ModifierKeys (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::leftButtonModifier);
    auto deliver = [] { juce::MessageManager::getInstance()->runDispatchLoopUntil (20); };
    slider.mouseDown (test::mouseEvent (slider, { 300.0f, 13.0f }, ctrl));
    deliver();
    EXPECT_EQ (slider.getValue(), 0.0);
    EXPECT_EQ (counter.changes, 1);

    slider.mouseDown (test::mouseEvent (slider, { 300.0f, 13.0f }, ctrl));   // already there: no change
    deliver();
    EXPECT_EQ (counter.changes, 1);

    slider.has_reset_value = true;
    slider.reset_value = 50.4f;   // snapped by the interval, as any setValue
    slider.mouseDown (test::mouseEvent (slider, { 10.0f, 13.0f }, ctrl));
    EXPECT_EQ (slider.getValue(), 50.0);

    // Without Ctrl the framework's slider takes the click and drags.
    juce::Slider reference;
    reference.setRange (0.0, 100.0, 1.0);
    reference.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    reference.setBounds (0, 0, 435, 26);
    reference.setValue (50.0);
    const auto left = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
    for (auto* s : { (juce::Slider*) &slider, &reference })
    {
        s->mouseDown (test::mouseEvent (*s, { 100.0f, 13.0f }, left));
        s->mouseDrag (test::mouseEvent (*s, { 120.0f, 13.0f }, left));
        s->mouseUp (test::mouseEvent (*s, { 120.0f, 13.0f }, left));
    }
    EXPECT_EQ (slider.getValue(), reference.getValue());
    EXPECT_NE (slider.getValue(), 50.0);
    slider.removeListener (&counter);
}

TEST (AboutView, CardLayoutInTheWindowAndAtAnOddWidth)
{
    velmoor::juce_misc::about_view about;
    about.setBounds (0, 0, 1000, 638);
    EXPECT_EQ (about.title_label->getBounds(), juce::Rectangle<int> (280, 191, 440, 30));
    EXPECT_EQ (about.design_label->getBounds(), juce::Rectangle<int> (305, 240, 334, 12));
    EXPECT_EQ (about.realisation_label->getBounds(), juce::Rectangle<int> (519, 240, 334, 12));
    EXPECT_EQ (about.credits_label->getBounds(), juce::Rectangle<int> (305, 347, 334, 124));
    EXPECT_EQ (about.title_label->getText(), "Velmoor TessaroEQ ver. 1.1.0");
    EXPECT_EQ (about.design_label->getText(), "Design & Concept by");
    EXPECT_EQ (about.realisation_label->getText(), "Realisation by");
    EXPECT_EQ (juce::StringArray::fromLines (about.credits_label->getText()).size(), 7);

    juce::Image image (juce::Image::ARGB, 1000, 638, true);
    {
        juce::Graphics g (image);
        g.fillAll (juce::Colours::white);
        about.paintEntireComponent (g, false);
    }
    // Outside the card the window shows through the dark fill at about 15 %.
    EXPECT_NEAR (image.getPixelAt (10, 10).getFloatRed(), (0x28 * 216 + 255 * 39) / 255.0f / 255.0f, 0.01f);
    EXPECT_EQ (argb (image, 285, 175), 0xff282827);   // the card
    EXPECT_EQ (argb (image, 715, 462), 0xff282827);
    EXPECT_NE (argb (image, 275, 175), 0xff282827);

    about.setBounds (0, 0, 999, 638);
    EXPECT_EQ (about.title_label->getX(), 279);
}

TEST (Assets, ResourcesParseAndTheFontsAreOneFamily)
{
    ASSERT_EQ (BinaryData::namedResourceListSize, 9);
    const char* expectedNames[] { "LTe50329_ttf", "custom_about_background_svg", "IButton_hover01_svg", "IButton01_svg",
                                  "Tessaro_UI_BG_svg", "de_DE_txt", "LTe50327_ttf", "LTe50329_ttf2", "about_background_svg" };
    const char* expectedFiles[] { "LTe50329.ttf", "custom_about_background.svg", "IButton_hover-01.svg", "IButton-01.svg",
                                  "Tessaro_UI_BG.svg", "de_DE.txt", "LTe50327.ttf", "LTe50329.ttf", "about_background.svg" };
    for (int i = 0; i < 9; ++i)
    {
        EXPECT_STREQ (BinaryData::namedResourceList[i], expectedNames[i]);
        EXPECT_STREQ (BinaryData::originalFilenames[i], expectedFiles[i]);
    }

    EXPECT_EQ (BinaryData::LTe50329_ttfSize, BinaryData::LTe50329_ttf2Size);
    EXPECT_EQ (std::memcmp (BinaryData::LTe50329_ttf, BinaryData::LTe50329_ttf2, (size_t) BinaryData::LTe50329_ttfSize), 0);

    const auto bold = embedded (BinaryData::LTe50329_ttf, BinaryData::LTe50329_ttfSize);
    const auto light = embedded (BinaryData::LTe50327_ttf, BinaryData::LTe50327_ttfSize);
    ASSERT_NE (bold, nullptr);
    ASSERT_NE (light, nullptr);
    EXPECT_EQ (bold->getName(), light->getName());
    EXPECT_NE (bold->getStyle(), light->getStyle());

    struct Svg
    {
        const char* data;
        int size;
    };
    for (const auto& svg : { Svg { BinaryData::custom_about_background_svg, BinaryData::custom_about_background_svgSize },
                             Svg { BinaryData::IButton_hover01_svg, BinaryData::IButton_hover01_svgSize },
                             Svg { BinaryData::IButton01_svg, BinaryData::IButton01_svgSize },
                             Svg { BinaryData::Tessaro_UI_BG_svg, BinaryData::Tessaro_UI_BG_svgSize },
                             Svg { BinaryData::about_background_svg, BinaryData::about_background_svgSize } })
        EXPECT_NE (juce::Drawable::createFromImageData (svg.data, (size_t) svg.size), nullptr);

    // The plug-in's card, fitted into the card rectangle, covers all of it.
    auto card = juce::Drawable::createFromImageData (BinaryData::custom_about_background_svg,
                                                     (size_t) BinaryData::custom_about_background_svgSize);
    card->setTransformToFit ({ 0.0f, 0.0f, 440.0f, 295.0f }, juce::RectanglePlacement::xLeft);
    juce::Image image (juce::Image::ARGB, 440, 295, true);
    {
        juce::Graphics g (image);
        card->draw (g, 1.0f);
    }
    for (auto corner : { juce::Point<int> (0, 0), juce::Point<int> (439, 0), juce::Point<int> (0, 294), juce::Point<int> (439, 294) })
        EXPECT_GE (image.getPixelAt (corner.x, corner.y).getAlpha(), 0xf8) << corner.toString();
    EXPECT_EQ (argb (image, 1, 1), 0xff282827);
    EXPECT_EQ (argb (image, 438, 293), 0xff282827);

    const auto table = juce::String::fromUTF8 (BinaryData::de_DE_txt, BinaryData::de_DE_txtSize);
    juce::LocalisedStrings german (table, false);
    EXPECT_EQ (german.getLanguageName(), "German");
    EXPECT_EQ (german.translate ("Low Cut"), "Hochpassfilter");
    EXPECT_EQ (german.getMappings().size(), 23);
}
