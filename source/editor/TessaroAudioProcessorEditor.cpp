#include "editor/TessaroAudioProcessorEditor.h"
#include "editor/ResponseGraphPainter.h"
#include "juce_misc/palette.h"
#include "processor/TessaroPresets.h"

#include <BinaryData.h>
#include <TessaroIdentity.h>

#include <algorithm>
#include <vector>

namespace
{
    std::unique_ptr<juce::Drawable> drawableFrom (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }

    juce::Rectangle<float> box (float x, float y, float w, float h) { return { x, y, w, h }; }

    // The editors open in this process, oldest first (message thread only).
    // The shared tooltip window draws with the process's default look, which
    // is the look-and-feel of one of them; when that editor closes, the look
    // passes to another that is still open.
    std::vector<TessaroAudioProcessorEditor*>& openEditors()
    {
        static std::vector<TessaroAudioProcessorEditor*> editors;
        return editors;
    }
}

TessaroAudioProcessorEditor::TessaroAudioProcessorEditor (TessaroAudioProcessor& p)
    : AudioProcessorEditor (&p), audioProcessor (p)
{
    const auto W = editorWidth, H = editorHeight, M = margin, R = rowOffset;
    const auto setupChoiceX = M + 124;

    // Fonts, and the tooltip delay every open editor shares.
    const auto boldFace = juce::Typeface::createSystemTypefaceFor (BinaryData::LTe50329_ttf, (size_t) BinaryData::LTe50329_ttfSize);
    auto titleFont = juce::Font (boldFace);
    titleFont.setHeight (35.0f);
    const juce::Font captionFont (21.0f, juce::Font::bold), controlFont (20.0f), endFont (13.0f), versionFont (12.0f);
    tooltipWindow->setMillisecondsBeforeTipAppears (tooltipDelayMs);

    // What each row's controls do (the information buttons) and how to set them (the sliders).
    const juce::String lowCutTip = juce::translate ("Low cut to avoid handling noise.");
    const juce::String distanceInfo = "Compensation for distance-related sound coloring.";
    const juce::String distanceTip = juce::translate ("Set the rough distance between the microphone and the sound source during the recording.");
    const juce::String aimingInfo = "Compensates for high-frequency loss, if the sound source was not exactly on-axis of the parabolic dish.";
    const juce::String aimingTip = juce::translate ("Set how accurately the parabolic dish was aimed towards the sound source.");
    const juce::String freeFieldInfo = "Flattens the free-field response of the parabolic dish. Can be used, if there is only a small amount of diffuse sound in the recording.";
    const juce::String freeFieldTip = juce::translate ("Set slider to match the ratio between direct signal (free field) and reflective sounds/background noise (diffuse field).");

    lookAndFeel.setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (velmoor::juce_misc::palette::lightGrey));
    setLookAndFeel (&lookAndFeel);
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    openEditors().push_back (this);

    setSize ((int) W, (int) H);
    setResizable (false, false);

    infoImage = drawableFrom (BinaryData::IButton01_svg, BinaryData::IButton01_svgSize);
    infoHoverImage = drawableFrom (BinaryData::IButton_hover01_svg, BinaryData::IButton_hover01_svgSize);

    const auto black = juce::Colours::black, white = juce::Colours::white, darkGrey = juce::Colours::darkgrey;

    // Wider than the 200 pixels the product name needs in a condensed face:
    // Lato Bold at 35 needs about 300, and the strip up to the mark is free.
    placeLabel (titleLabel, tessaro::identity::productName, titleFont, white, box (30, 32, 360, 40));
    placeLabel (setupLabel, juce::translate ("Setup"), captionFont, black, box (M + 124, 112, 200, 26));
    placeLabel (recordingPropertiesLabel, juce::translate ("Recording Properties"), captionFont, black, box (W / 2 + 66, 112, 210, 26));

    // The setup captions need up to 105 pixels in Lato Light 20 from x = 39,
    // so the choice boxes start at x = 148. They keep their width: "Model B
    // (Wide/Open Cardioid)" already needs all of it, squeezed to about 0.7.
    // Their arrows now line up with the low-cut box.
    placeLabel (microphoneLabel, juce::translate ("Microphone"), controlFont, black, box (M + 10, R + 125, 200, 26));
    // clang-format off
    placeComboBox (microphoneBox, { juce::translate ("Model A (Cardioid)"), juce::translate ("Model B (Wide/Open Cardioid)"),
                                    juce::translate ("Model C (Omnidirectional)") },
                   microphoneLabel.getText(), box (setupChoiceX, R + 125, 175, 26));
    // clang-format on
    microphoneAttachment = std::make_unique<ComboBoxAttachment> (audioProcessor.getValueTreeState(), "microphone", microphoneBox);

    placeLabel (lowCutLabel, juce::translate ("Low Cut"), controlFont, black, box (M + 10, R + 191, 225, 26));
    lowCutButton.setColour (juce::TextButton::buttonOnColourId, black);
    lowCutButton.setBounds (box (W / 2 - 178 - 26, R + 191, 26, 26).toNearestInt());
    addAndMakeVisible (lowCutButton);
    lowCutAttachment = std::make_unique<ButtonAttachment> (audioProcessor.getValueTreeState(), "lowCut", lowCutButton);
    lowCutButton.setTooltip (lowCutTip);
    lowCutButton.setTitle (lowCutLabel.getText());
    lowCutButton.setDescription (lowCutTip);

    placeLabel (presetLabel, juce::translate ("Preset"), controlFont, black, box (M + 10, R + 158, 200, 26));
    juce::StringArray presetNames;
    for (const auto& preset : TessaroPresets::table())
        presetNames.add (juce::translate (preset.name));
    placeComboBox (presetBox, presetNames, presetLabel.getText(), box (setupChoiceX + 25, R + 158, 150, 26));
    presetBox.setTextWhenNothingSelected ("Presets");
    presetBox.setDescription ("Sets the low cut, the distance, the aim and the diffuse/free field for a typical recording situation.");
    presetBox.addListener (this);

    placeLabel (windCoverLabel, juce::translate ("Wind Cover"), controlFont, black, box (M + 10, R + 225, 200, 26));
    placeComboBox (windCoverBox, { juce::translate ("None"), juce::translate ("Windjammer"), juce::translate ("High Wind Cover (HWC)") },
                   windCoverLabel.getText(), box (setupChoiceX, R + 225, 175, 26));
    windCoverAttachment = std::make_unique<ComboBoxAttachment> (audioProcessor.getValueTreeState(), "windCover", windCoverBox);

    placeInfoButton (distanceInfoButton, distanceInfo, juce::translate ("Distance"), box (W / 2 - 155, R + 120, 35, 35));
    // The row captions reach into the information buttons' empty margin (the
    // icon is drawn in their middle): "Diffuse/Free Field" needs 157 pixels
    // before the sliders start at x = 536.
    placeLabel (distanceLabel, juce::translate ("Distance"), controlFont, black, box (W / 2 - 127, R + 125, 225, 26));
    placeSlider (distanceSlider, distanceAttachment, "distance", distanceLabel.getText(), distanceTip, box (W - M - 440, R + 125, 435, 26));
    placeLabel (closeLabel, juce::translate ("Close"), endFont, darkGrey, box (W - M - 435, R + 144, 100, 20));
    placeLabel (farOffLabel, juce::translate ("Far Off"), endFont, darkGrey, box (W - M - 104, R + 146, 100, 20));

    placeInfoButton (aimingInfoButton, aimingInfo, juce::translate ("Aim Inaccuracy"), box (W / 2 - 155, R + 170, 35, 35));
    placeLabel (aimingLabel, juce::translate ("Aim Inaccuracy"), controlFont, black, box (W / 2 - 127, R + 175, 225, 26));
    placeSlider (aimingSlider, aimingAttachment, "aimingAccurancy", aimingLabel.getText(), aimingTip, box (W - M - 440, R + 175, 435, 26));
    placeLabel (onCenterLabel, juce::translate ("On Center"), endFont, darkGrey, box (W - M - 435, R + 195, 100, 20));
    placeLabel (offCenterLabel, juce::translate ("Off Center"), endFont, darkGrey, box (W - M - 122, R + 195, 100, 20));

    placeInfoButton (freeFieldInfoButton, freeFieldInfo, juce::translate ("Diffuse/Free Field"), box (W / 2 - 155, R + 220, 35, 35));
    placeLabel (freeFieldLabel, juce::translate ("Diffuse/Free Field"), controlFont, black, box (W / 2 - 127, R + 225, 225, 26));
    placeSlider (freeFieldSlider, freeFieldAttachment, "freeField", freeFieldLabel.getText(), freeFieldTip, box (W - M - 440, R + 225, 435, 26));
    placeLabel (pureDiffuseLabel, juce::translate ("Pure Diffuse Field"), endFont, darkGrey, box (W - M - 435, R + 244, 112, 20));
    placeLabel (pureFreeLabel, juce::translate ("Pure Free Field"), endFont, darkGrey, box (W - M - 140, R + 244, 100, 20));

    placeLabel (versionLabel, juce::String ("Version: ") + tessaro::identity::versionString, versionFont, white, box (W - 88, H - 20, 84, 20));
    versionLabel.setAlpha (0.6f);

    background = drawableFrom (BinaryData::Tessaro_UI_BG_svg, BinaryData::Tessaro_UI_BG_svgSize);
    background->setTransformToFit ({ 0.0f, 0.0f, (float) getWidth(), (float) getHeight() }, juce::RectanglePlacement::xLeft);

    aboutView = std::make_unique<velmoor::juce_misc::about_view>();
    aboutView->background_drawable = drawableFrom (BinaryData::custom_about_background_svg, BinaryData::custom_about_background_svgSize);
    aboutView->setBounds (0, 0, (int) W, (int) H);
    aboutView->setVisible (false);
    addChildComponent (*aboutView);

    audioProcessor.addChangeListener (this);
    addMouseListener (this, true);
}

TessaroAudioProcessorEditor::~TessaroAudioProcessorEditor()
{
    audioProcessor.removeChangeListener (this);
    removeMouseListener (this);
    presetBox.removeListener (this);
    setLookAndFeel (nullptr);

    auto& editors = openEditors();
    editors.erase (std::remove (editors.begin(), editors.end(), this), editors.end());

    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (editors.empty() ? nullptr : &editors.back()->lookAndFeel);
}

//==============================================================================
void TessaroAudioProcessorEditor::placeLabel (juce::Label& label, const juce::String& text, const juce::Font& font,
                                              juce::Colour colour, juce::Rectangle<float> bounds)
{
    label.setText (text, juce::dontSendNotification);
    label.setFont (font);
    label.setJustificationType (juce::Justification::centredLeft);
    label.setColour (juce::Label::textColourId, colour);
    label.setEditable (false, false, false);
    label.setBounds (bounds.toNearestInt());
    addAndMakeVisible (label);
}

void TessaroAudioProcessorEditor::placeComboBox (juce::ComboBox& comboBox, const juce::StringArray& items,
                                                 const juce::String& title, juce::Rectangle<float> bounds)
{
    comboBox.addItemList (items, 1);
    comboBox.setJustificationType (juce::Justification::centredRight);
    comboBox.setColour (juce::ComboBox::textColourId, juce::Colours::black);
    comboBox.setBounds (bounds.toNearestInt());
    comboBox.setTitle (title);
    addAndMakeVisible (comboBox);
}

void TessaroAudioProcessorEditor::placeInfoButton (juce::DrawableButton& button, const juce::String& tip,
                                                   const juce::String& title, juce::Rectangle<float> bounds)
{
    button.setSize (35, 35);
    button.setImages (infoImage.get(), infoHoverImage.get(), infoHoverImage.get());
    button.setTooltip (tip);
    button.setTitle (title + " information");
    button.setDescription (tip);
    button.setBounds (bounds.toNearestInt());
    addAndMakeVisible (button);
}

void TessaroAudioProcessorEditor::placeSlider (velmoor::juce_misc::custom_slider& slider, std::unique_ptr<SliderAttachment>& attachment,
                                               const char* parameterID, const juce::String& title, const juce::String& tip,
                                               juce::Rectangle<float> bounds)
{
    slider.setBounds (bounds.toNearestInt());
    addAndMakeVisible (slider);
    attachment = std::make_unique<SliderAttachment> (audioProcessor.getValueTreeState(), parameterID, slider);

    // After the attachment: a plain 0 to 100 range in whole steps, so the
    // slider's values are the parameter's values.
    slider.setRange (0.0, 100.0, 1.0);
    slider.setTextBoxStyle (juce::Slider::TextBoxRight, false, 52, 26);
    slider.setTextValueSuffix (" %");

    // The attachment shows the parameter's host text ("50.0000000"), which
    // does not fit the 52-pixel box; whole percent values read as the
    // slider's own steps ("50 %"). Typed values still go through the parameter.
    slider.textFromValueFunction = nullptr;
    slider.updateText();

    slider.setTooltip (tip);
    slider.setTitle (title);
    slider.setDescription (tip);
}

//==============================================================================
void TessaroAudioProcessorEditor::paint (juce::Graphics& g)
{
    const auto W = editorWidth, M = margin;

    background->draw (g, 1.0f);
    g.setFont (juce::Font (14.0f));

    for (const auto& panel : { box (M, 110, 305, 180), box (M + 315, 110, W - 2 * M - 315, 180) })
    {
        g.setColour (juce::Colour (velmoor::juce_misc::palette::lightGrey));
        g.fillRoundedRectangle (panel, 5.0f);
        g.setColour (juce::Colours::black);
        g.drawRoundedRectangle (panel, 5.0f, 2.0f);
    }

    // The graph: field, grid and labels, and the curve rebuilt from the model.
    graphArea = box (M, 320, W - 2 * M, 250);
    ResponseGraphPainter::paint (g, audioProcessor, graphArea, responsePath);
}

void TessaroAudioProcessorEditor::changeListenerCallback (juce::ChangeBroadcaster*)
{
    // A program the host chose shows in the menu, as if chosen there.
    const auto program = audioProcessor.getCurrentProgram();

    if (program != shownProgram)
    {
        shownProgram = program;
        presetBox.setSelectedId (TessaroPresets::table()[(size_t) program].itemId, juce::dontSendNotification);
    }

    // paint() builds the curve from the newest design.
    repaint();
}

//==============================================================================
void TessaroAudioProcessorEditor::comboBoxChanged (juce::ComboBox* changed)
{
    if (changed != &presetBox)
        return;

    const auto id = presetBox.getSelectedId();
    const auto& presets = TessaroPresets::table();
    const auto row = std::find_if (presets.begin(), presets.end(), [id] (const auto& p) { return p.itemId == id; });

    if (row == presets.end())
        return;

    // Through the controls: their attachments tell the host about each change.
    lowCutButton.setToggleState (row->lowCut == 1.0f, juce::sendNotification);
    distanceSlider.setValue (row->distance, juce::sendNotificationAsync);
    aimingSlider.setValue (row->aimingAccurancy, juce::sendNotificationAsync);
    freeFieldSlider.setValue (row->freeField, juce::sendNotificationAsync);
}

void TessaroAudioProcessorEditor::mouseDown (const juce::MouseEvent& e)
{
    if (e.eventComponent == this && aboutArea().contains (e.getPosition()))
        aboutView->setVisible (true);
}

void TessaroAudioProcessorEditor::mouseUp (const juce::MouseEvent& e)
{
    if (e.eventComponent == this)
        aboutView->setVisible (false);
}
