#pragma once

#include "processor/TessaroAudioProcessor.h"
#include "juce_misc/about_view.h"
#include "juce_misc/custom_slider.h"
#include "juce_misc/look_and_feel.h"

#include <juce_audio_processors/juce_audio_processors.h>

/** The plug-in window: a fixed 1000 x 638 layout over the background image,
    the setup and recording-properties panels with their controls bound to
    the parameters, the response graph, the preset menu, tooltips and the
    about panel shown while the top-right mark is held. */
class TessaroAudioProcessorEditor : public juce::AudioProcessorEditor,
                                    public juce::ChangeListener,
                                    public juce::ComboBox::Listener
{
public:
    explicit TessaroAudioProcessorEditor (TessaroAudioProcessor&);
    ~TessaroAudioProcessorEditor() override;

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;

    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    void comboBoxChanged (juce::ComboBox* box) override;

    /** Where pressing shows the about panel. */
    static juce::Rectangle<int> aboutArea() noexcept { return { 810, 35, 170, 40 }; }

    static constexpr int tooltipDelayMs = 125;

private:
    using ComboBoxAttachment = juce::AudioProcessorValueTreeState::ComboBoxAttachment;
    using ButtonAttachment = juce::AudioProcessorValueTreeState::ButtonAttachment;
    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;

    friend struct EditorInspector;   // lets the tests reach the children

    void placeLabel (juce::Label& label, const juce::String& text, const juce::Font& font,
                     juce::Colour colour, juce::Rectangle<float> bounds);
    void placeComboBox (juce::ComboBox& box, const juce::StringArray& items, const juce::String& title,
                        juce::Rectangle<float> bounds);
    void placeInfoButton (juce::DrawableButton& button, const juce::String& tip, const juce::String& title,
                          juce::Rectangle<float> bounds);
    void placeSlider (velmoor::juce_misc::custom_slider& slider, std::unique_ptr<SliderAttachment>& attachment,
                      const char* parameterID, const juce::String& title, const juce::String& tip,
                      juce::Rectangle<float> bounds);

    TessaroAudioProcessor& audioProcessor;

    const float editorWidth = 1000.0f;
    const float editorHeight = 638.0f;
    const float margin = 24.0f;
    const float rowOffset = 20.0f;

    juce::SharedResourcePointer<juce::TooltipWindow> tooltipWindow;

    juce::Label titleLabel, setupLabel, recordingPropertiesLabel;
    std::unique_ptr<velmoor::juce_misc::about_view> aboutView;
    std::unique_ptr<juce::Drawable> background;
    velmoor::juce_misc::look_and_feel lookAndFeel;
    std::unique_ptr<juce::Drawable> infoImage, infoHoverImage;

    juce::ComboBox microphoneBox;
    std::unique_ptr<ComboBoxAttachment> microphoneAttachment;
    juce::Label microphoneLabel;
    juce::ComboBox windCoverBox;
    std::unique_ptr<ComboBoxAttachment> windCoverAttachment;
    juce::Label windCoverLabel;
    juce::ComboBox presetBox;
    juce::Label presetLabel;
    juce::ToggleButton lowCutButton;
    std::unique_ptr<ButtonAttachment> lowCutAttachment;
    juce::Label lowCutLabel;

    juce::DrawableButton distanceInfoButton { "buttonDistanceInfo", juce::DrawableButton::ImageFitted };
    juce::Label distanceLabel;
    velmoor::juce_misc::custom_slider distanceSlider { "SliderDistance" };
    std::unique_ptr<SliderAttachment> distanceAttachment;
    juce::Label closeLabel, farOffLabel;

    juce::DrawableButton aimingInfoButton { "buttonAimingInfo", juce::DrawableButton::ImageFitted };
    juce::Label aimingLabel;
    velmoor::juce_misc::custom_slider aimingSlider { "SliderAiming" };
    std::unique_ptr<SliderAttachment> aimingAttachment;
    juce::Label onCenterLabel, offCenterLabel;

    juce::DrawableButton freeFieldInfoButton { "buttonFreeFieldInfo", juce::DrawableButton::ImageFitted };
    juce::Label freeFieldLabel;
    velmoor::juce_misc::custom_slider freeFieldSlider { "SliderFreeField" };
    std::unique_ptr<SliderAttachment> freeFieldAttachment;
    juce::Label pureDiffuseLabel, pureFreeLabel;

    juce::Label versionLabel;

    juce::Rectangle<float> graphArea;
    juce::Path responsePath;
    int shownProgram = audioProcessor.getCurrentProgram();   // the menu follows changes from here on

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TessaroAudioProcessorEditor)
};
