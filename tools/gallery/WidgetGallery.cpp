// Renders the widget library's components in the house style to PNG files,
// for a person to look at: tessaroeq-widget-gallery OUTPUT_FOLDER

#include "juce_misc/about_view.h"
#include "juce_misc/custom_slider.h"
#include "juce_misc/look_and_feel.h"
#include "juce_misc/palette.h"

#include <BinaryData.h>

#include <cstdio>

namespace
{
    using velmoor::juce_misc::look_and_feel;

    bool save (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream out (file);
        return out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out);
    }

    juce::Image snapshot (juce::Component& c, float scale = 2.0f)
    {
        juce::Image image (juce::Image::ARGB, juce::roundToInt ((float) c.getWidth() * scale),
                           juce::roundToInt ((float) c.getHeight() * scale), true);
        juce::Graphics g (image);
        g.addTransform (juce::AffineTransform::scale (scale));
        g.fillAll (juce::Colour (0xffa2a1a4));
        c.paintEntireComponent (g, false);
        return image;
    }

    /** A panel of controls as they stand in the plug-in window. */
    struct Controls : juce::Component
    {
        Controls()
        {
            slider.setRange (0.0, 100.0, 1.0);
            slider.setTextBoxStyle (juce::Slider::TextBoxRight, false, 52, 26);
            slider.setTextValueSuffix (" %");
            slider.setValue (35.0);
            addAndMakeVisible (slider);

            vertical.setSliderStyle (juce::Slider::LinearVertical);
            vertical.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
            vertical.setValue (vertical.getMaximum() * 0.3);
            addAndMakeVisible (vertical);

            rotary.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
            rotary.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
            rotary.setValue (rotary.getMaximum() * 0.7);
            addAndMakeVisible (rotary);

            combo.addItem ("Model A (Cardioid)", 1);
            combo.addItem ("Model B (Wide/Open Cardioid)", 2);
            combo.setSelectedId (1);
            combo.setJustificationType (juce::Justification::centredRight);
            addAndMakeVisible (combo);

            disabledCombo.addItem ("Windjammer", 1);
            disabledCombo.setSelectedId (1);
            disabledCombo.setEnabled (false);
            addAndMakeVisible (disabledCombo);

            toggleOn.setToggleState (true, juce::dontSendNotification);
            addAndMakeVisible (toggleOn);
            addAndMakeVisible (toggleOff);

            label.setText ("Microphone", juce::dontSendNotification);
            label.setFont (juce::Font (20.0f));
            addAndMakeVisible (label);

            caption.setText ("Setup", juce::dontSendNotification);
            caption.setFont (juce::Font (21.0f, juce::Font::bold));
            addAndMakeVisible (caption);

            slider.setBounds (20, 20, 435, 26);
            vertical.setBounds (480, 10, 40, 120);
            rotary.setBounds (540, 20, 30, 30);
            combo.setBounds (20, 70, 175, 26);
            disabledCombo.setBounds (210, 70, 175, 26);
            toggleOn.setBounds (20, 110, 26, 26);
            toggleOff.setBounds (60, 110, 26, 26);
            label.setBounds (100, 110, 200, 26);
            caption.setBounds (300, 110, 200, 26);
            setSize (600, 150);
        }

        velmoor::juce_misc::custom_slider slider { "SliderDistance" };
        juce::Slider vertical, rotary;
        juce::ComboBox combo, disabledCombo;
        juce::ToggleButton toggleOn, toggleOff;
        juce::Label label, caption;
    };
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: tessaroeq-widget-gallery OUTPUT_FOLDER\n");
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    if (! folder.createDirectory())
    {
        std::fprintf (stderr, "tessaroeq-widget-gallery: cannot create '%s'\n", argv[1]);
        return 1;
    }

    look_and_feel lnf;
    lnf.setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (velmoor::juce_misc::palette::lightGrey));
    juce::LookAndFeel::setDefaultLookAndFeel (&lnf);
    bool ok = true;

    {
        Controls controls;
        ok &= save (snapshot (controls), folder.getChildFile ("controls.png"));
    }

    {
        // The items of a choice box's open menu, drawn as the menu draws them.
        juce::Image image (juce::Image::ARGB, 400, 24 * 5 + 2, true);
        juce::Graphics g (image);
        lnf.drawPopupMenuBackground (g, image.getWidth(), image.getHeight());
        const char* items[] { "Default", "Singbird (Far)", "Singbird (Close)", "Animal (Far)" };
        lnf.drawPopupMenuSectionHeader (g, { 1, 1, 398, 24 }, "Presets");
        for (int i = 0; i < 4; ++i)
            lnf.drawPopupMenuItem (g, { 1, 25 + 24 * i, 398, 24 }, false, true, i == 1, i == 2, false, items[i], {}, nullptr, nullptr);
        ok &= save (image, folder.getChildFile ("popup-menu.png"));
    }

    {
        const juce::String tip ("Set the rough distance between the microphone and the sound source during the recording.");
        const auto bounds = lnf.getTooltipBounds (tip, { 0, 0 }, { 0, 0, 1000, 600 });
        juce::Image image (juce::Image::ARGB, bounds.getWidth(), bounds.getHeight(), true);
        juce::Graphics g (image);
        lnf.drawTooltip (g, tip, bounds.getWidth(), bounds.getHeight());
        ok &= save (image, folder.getChildFile ("tooltip.png"));
    }

    {
        juce::Component window;
        window.setSize (1000, 638);
        auto background = juce::Drawable::createFromImageData (BinaryData::Tessaro_UI_BG_svg, (size_t) BinaryData::Tessaro_UI_BG_svgSize);
        velmoor::juce_misc::about_view about;
        about.setBounds (0, 0, 1000, 638);
        juce::Image image (juce::Image::ARGB, 1000, 638, true);
        juce::Graphics g (image);
        background->drawWithin (g, { 0.0f, 0.0f, 1000.0f, 638.0f }, juce::RectanglePlacement::xLeft, 1.0f);
        ok &= save (image, folder.getChildFile ("window-background.png"));
        about.paintEntireComponent (g, false);
        ok &= save (image, folder.getChildFile ("about-default-card.png"));

        about.background_drawable = juce::Drawable::createFromImageData (BinaryData::custom_about_background_svg,
                                                                         (size_t) BinaryData::custom_about_background_svgSize);
        about.resized();
        background->drawWithin (g, { 0.0f, 0.0f, 1000.0f, 638.0f }, juce::RectanglePlacement::xLeft, 1.0f);
        about.paintEntireComponent (g, false);
        ok &= save (image, folder.getChildFile ("about-plugin-card.png"));
    }

    {
        juce::Image image (juce::Image::ARGB, 400, 30, true);
        juce::Graphics g (image);
        juce::DocumentWindow window ("Velmoor TessaroEQ", juce::Colour (0xff777777), juce::DocumentWindow::allButtons, false);
        window.setSize (400, 30);
        lnf.drawDocumentWindowTitleBar (window, g, 400, 30, 0, 300, nullptr, true);
        for (int i = 0; i < 3; ++i)
        {
            std::unique_ptr<juce::Button> button (lnf.createDocumentWindowButton (
                i == 0 ? juce::DocumentWindow::minimiseButton : i == 1 ? juce::DocumentWindow::maximiseButton
                                                                       : juce::DocumentWindow::closeButton));
            button->setBounds (310 + 30 * i, 2, 26, 26);
            juce::Graphics::ScopedSaveState state (g);
            g.setOrigin (button->getPosition());
            button->paintEntireComponent (g, false);
        }
        ok &= save (image, folder.getChildFile ("title-bar.png"));
    }

    {
        juce::Image image (juce::Image::ARGB, 200, 70, true);
        juce::Graphics g (image);
        auto normal = juce::Drawable::createFromImageData (BinaryData::IButton01_svg, (size_t) BinaryData::IButton01_svgSize);
        auto hover = juce::Drawable::createFromImageData (BinaryData::IButton_hover01_svg, (size_t) BinaryData::IButton_hover01_svgSize);
        normal->drawWithin (g, { 0.0f, 0.0f, 90.0f, 70.0f }, juce::RectanglePlacement::centred, 1.0f);
        hover->drawWithin (g, { 100.0f, 0.0f, 90.0f, 70.0f }, juce::RectanglePlacement::centred, 1.0f);
        ok &= save (image, folder.getChildFile ("info-buttons.png"));
    }

    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);

    if (! ok)
    {
        std::fprintf (stderr, "tessaroeq-widget-gallery: writing into '%s' failed\n", argv[1]);
        return 1;
    }

    std::printf ("gallery written to %s\n", folder.getFullPathName().toRawUTF8());
    return 0;
}
