#include "juce_misc/look_and_feel.h"
#include "juce_misc/palette.h"

#include <BinaryData.h>

namespace velmoor::juce_misc
{
    //==============================================================================
    const std::vector<look_and_feel::PaletteEntry>& look_and_feel::palette()
    {
        using namespace juce;

        // Every id named here overrides the framework's default; ids left out
        // keep LookAndFeel_V2's colour.
        static const std::vector<PaletteEntry> table {
            { TextButton::buttonColourId, 0xffbbbbff },
            { TextButton::buttonOnColourId, 0xff4444ff },
            { TextButton::textColourOnId, 0xff000000 },
            { TextButton::textColourOffId, 0xff000000 },

            { ToggleButton::textColourId, 0xff000000 },
            { ToggleButton::tickColourId, 0xff000000 },
            { ToggleButton::tickDisabledColourId, 0xff808080 },

            { TextEditor::backgroundColourId, palette::lightGrey },
            { TextEditor::textColourId, 0xff000000 },
            { TextEditor::highlightColourId, palette::crimsonOverlay },
            { TextEditor::highlightedTextColourId, 0xff000000 },
            { TextEditor::outlineColourId, 0x00000000 },
            { TextEditor::focusedOutlineColourId, 0xffbbbbff },
            { TextEditor::shadowColourId, 0x00000000 },

            { CaretComponent::caretColourId, 0xff000000 },

            { Label::backgroundColourId, 0x00000000 },
            { Label::textColourId, 0xff000000 },
            { Label::outlineColourId, 0x00000000 },

            { ScrollBar::backgroundColourId, 0x00000000 },
            { ScrollBar::thumbColourId, 0xffffffff },

            { TreeView::linesColourId, 0x4c000000 },
            { TreeView::backgroundColourId, 0x00000000 },
            { TreeView::dragAndDropIndicatorColourId, 0x80ff0000 },
            { TreeView::selectedItemBackgroundColourId, 0x00000000 },
            { TreeView::oddItemsColourId, 0x00000000 },
            { TreeView::evenItemsColourId, 0x00000000 },

            { PopupMenu::backgroundColourId, palette::lightGrey },
            { PopupMenu::textColourId, 0xff000000 },
            { PopupMenu::headerTextColourId, 0xff000000 },
            { PopupMenu::highlightedTextColourId, 0xff000000 },
            { PopupMenu::highlightedBackgroundColourId, palette::crimsonOverlay },

            { ComboBox::buttonColourId, 0xffbbbbff },
            { ComboBox::outlineColourId, 0x00808080 },
            { ComboBox::textColourId, 0xff000000 },
            { ComboBox::backgroundColourId, palette::lightGrey },
            { ComboBox::arrowColourId, 0xff000000 },

            { PropertyComponent::backgroundColourId, 0x66ffffff },
            { PropertyComponent::labelTextColourId, 0xff000000 },

            { TextPropertyComponent::backgroundColourId, 0xffffffff },
            { TextPropertyComponent::textColourId, 0xff000000 },
            { TextPropertyComponent::outlineColourId, 0x00808080 },

            { BooleanPropertyComponent::backgroundColourId, 0xffffffff },
            { BooleanPropertyComponent::outlineColourId, 0x00808080 },

            { ListBox::backgroundColourId, 0xffffffff },
            { ListBox::outlineColourId, 0x00808080 },
            { ListBox::textColourId, 0xff000000 },

            { Slider::backgroundColourId, 0x00000000 },
            { Slider::thumbColourId, 0xffbbbbff },
            { Slider::trackColourId, 0x7fffffff },
            { Slider::rotarySliderFillColourId, 0x7f0000ff },
            { Slider::rotarySliderOutlineColourId, 0x66000000 },
            { Slider::textBoxTextColourId, 0xff000000 },
            { Slider::textBoxBackgroundColourId, 0xffffffff },
            { Slider::textBoxHighlightColourId, 0x401111ee },
            { Slider::textBoxOutlineColourId, 0x00808080 },

            { ResizableWindow::backgroundColourId, 0xff777777 },

            { AlertWindow::backgroundColourId, 0xffededed },
            { AlertWindow::textColourId, 0xff000000 },
            { AlertWindow::outlineColourId, 0xff666666 },

            { ProgressBar::backgroundColourId, 0xffeeeeee },
            { ProgressBar::foregroundColourId, 0xffaaaaee },

            { TooltipWindow::backgroundColourId, 0xffeeeebb },
            { TooltipWindow::textColourId, 0xff000000 },
            { TooltipWindow::outlineColourId, 0x4c000000 },

            { TabbedComponent::backgroundColourId, 0x00000000 },
            { TabbedComponent::outlineColourId, 0xff777777 },

            { TabbedButtonBar::tabOutlineColourId, 0x80000000 },
            { TabbedButtonBar::frontOutlineColourId, 0x90000000 },

            { Toolbar::backgroundColourId, 0xfff6f8f9 },
            { Toolbar::separatorColourId, 0x4c000000 },
            { Toolbar::buttonMouseOverBackgroundColourId, 0x4c0000ff },
            { Toolbar::buttonMouseDownBackgroundColourId, 0x800000ff },
            { Toolbar::labelTextColourId, 0xff000000 },
            { Toolbar::editingModeOutlineColourId, 0xffff0000 },

            { DrawableButton::textColourId, 0xff000000 },
            { DrawableButton::textColourOnId, 0xff000000 },
            { DrawableButton::backgroundColourId, 0x00000000 },
            { DrawableButton::backgroundOnColourId, 0xaabbbbff },

            { HyperlinkButton::textColourId, 0xcc1111ee },

            { GroupComponent::outlineColourId, 0x66000000 },
            { GroupComponent::textColourId, 0xff000000 },

            { BubbleComponent::backgroundColourId, 0xeeeeeebb },
            { BubbleComponent::outlineColourId, 0x77000000 },

            { DirectoryContentsDisplayComponent::highlightColourId, 0x401111ee },
            { DirectoryContentsDisplayComponent::textColourId, 0xff000000 },

            { LassoComponent<int>::lassoFillColourId, 0x66dddddd },
            { LassoComponent<int>::lassoOutlineColourId, 0x99111111 },

            { MidiKeyboardComponent::whiteNoteColourId, 0xffffffff },
            { MidiKeyboardComponent::blackNoteColourId, 0xff000000 },
            { MidiKeyboardComponent::keySeparatorLineColourId, 0x66000000 },
            { MidiKeyboardComponent::mouseOverKeyOverlayColourId, 0x80ffff00 },
            { MidiKeyboardComponent::keyDownOverlayColourId, 0xffb6b600 },
            { MidiKeyboardComponent::textLabelColourId, 0xff000000 },
            { MidiKeyboardComponent::upDownButtonBackgroundColourId, 0xffd3d3d3 },
            { MidiKeyboardComponent::upDownButtonArrowColourId, 0xff000000 },
            { MidiKeyboardComponent::shadowColourId, 0x4c000000 },

            { CodeEditorComponent::backgroundColourId, 0xffffffff },
            { CodeEditorComponent::highlightColourId, 0x401111ee },
            { CodeEditorComponent::defaultTextColourId, 0xff000000 },
            { CodeEditorComponent::lineNumberBackgroundId, 0x44999999 },
            { CodeEditorComponent::lineNumberTextId, 0x44000000 },

            { ColourSelector::backgroundColourId, 0xffe5e5e5 },
            { ColourSelector::labelTextColourId, 0xff000000 },

            { KeyMappingEditorComponent::backgroundColourId, 0x00000000 },
            { KeyMappingEditorComponent::textColourId, 0xff000000 },

            { FileSearchPathListComponent::backgroundColourId, 0xffffffff },

            { FileChooserDialogBox::titleTextColourId, 0xff000000 },
        };
        return table;
    }

    look_and_feel::look_and_feel()
    {
        for (const auto& entry : palette())
            setColour (entry.colourId, juce::Colour (entry.argb));
    }

    look_and_feel::~look_and_feel()
    {
        document_image.reset();
        folder_image.reset();
    }

    //==============================================================================
    juce::Typeface::Ptr look_and_feel::getTypefaceForFont (const juce::Font& font)
    {
        if (font.getStyleFlags() == juce::Font::bold)
            return juce::Typeface::createSystemTypefaceFor (BinaryData::LTe50329_ttf, (size_t) BinaryData::LTe50329_ttfSize);

        return juce::Typeface::createSystemTypefaceFor (BinaryData::LTe50327_ttf, (size_t) BinaryData::LTe50327_ttfSize);
    }

    //==============================================================================
    look_and_feel::SliderLabelComp::SliderLabelComp() : juce::Label ({}, {}) {}

    void look_and_feel::SliderLabelComp::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) {}

    look_and_feel::GlassWindowButton::GlassWindowButton (const juce::String& name, juce::Colour colour,
                                                         const juce::Path& normalShape, const juce::Path& toggledShape)
        : juce::Button (name), sphere_colour (colour), off_shape (normalShape), on_shape (toggledShape)
    {
    }

    look_and_feel::GlassWindowButton::~GlassWindowButton() = default;

    void look_and_feel::GlassWindowButton::paintButton (juce::Graphics& g, bool isHighlighted, bool isDown)
    {
        auto alpha = isHighlighted ? (isDown ? 1.0f : 0.8f) : 0.55f;
        if (! isEnabled())
            alpha *= 0.5f;

        auto x = 0.0f, y = 0.0f, diam = 0.0f;
        if (getWidth() < getHeight())
        {
            diam = (float) getWidth();
            y = (float) (getHeight() - getWidth()) * 0.5f;
        }
        else
        {
            diam = (float) getHeight();
            y = (float) (getWidth() - getHeight()) * 0.5f;
        }

        x += diam * 0.05f;
        y += diam * 0.05f;
        diam *= 0.9f;

        g.setGradientFill (juce::ColourGradient (juce::Colour::greyLevel (0.9f).withAlpha (alpha), 0, y + diam,
                                                 juce::Colour::greyLevel (0.6f).withAlpha (alpha), 0, y, false));
        g.fillEllipse (x, y, diam, diam);

        x += 2.0f;
        y += 2.0f;
        diam -= 4.0f;

        juce::LookAndFeel_V2::drawGlassSphere (g, x, y, diam, sphere_colour.withAlpha (alpha), 1.0f);

        const auto& shape = getToggleState() ? on_shape : off_shape;
        g.setColour (juce::Colours::black.withAlpha (alpha * 0.6f));
        g.fillPath (shape, shape.getTransformToScaleToFit (x + diam * 0.3f, y + diam * 0.3f, diam * 0.4f, diam * 0.4f, true));
    }

    //==============================================================================
    void look_and_feel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool isHighlighted, bool isDown)
    {
        const auto fontSize = juce::jmin (15.0f, (float) button.getHeight() * 0.75f);

        drawTickBox (g, button, 0.0f, 0.0f, (float) button.getWidth(), (float) button.getWidth(),
                     button.getToggleState(), button.isEnabled(), isHighlighted, isDown);

        g.setColour (button.findColour (juce::ToggleButton::textColourId));
        g.setFont (fontSize);

        if (! button.isEnabled())
            g.setOpacity (0.5f);

        g.drawFittedText (button.getButtonText(), (int) fontSize, 0, button.getWidth() - (int) fontSize - 2,
                          button.getHeight(), juce::Justification::centredLeft, 10, 0.0f);
    }

    void look_and_feel::changeToggleButtonWidthToFitText (juce::ToggleButton& button)
    {
        const juce::Font font (juce::jmin (15.0f, (float) button.getHeight() * 0.6f));
        const auto width = font.getStringWidth (button.getButtonText()) + juce::jmin (24, button.getHeight()) + 8;
        button.setSize (width, button.getHeight());
    }

    void look_and_feel::drawTickBox (juce::Graphics& g, juce::Component&, float, float, float w, float,
                                     bool ticked, bool, bool, bool)
    {
        // A fixed 12 x 12 square at the left, centred on half the width.
        g.setColour (juce::Colour (0xff000000));

        juce::Path box;
        box.addRectangle (1.0f, w * 0.5f - 6.0f, 12.0f, 12.0f);
        g.strokePath (box, juce::PathStrokeType (2.0f));

        if (ticked)
            g.fillRect (3.0f, w * 0.5f - 4.0f, 8.0f, 8.0f);
    }

    bool look_and_feel::hasTextEditorOutline (bool isEnabled, bool hasKeyboardFocus, bool isReadOnly) noexcept
    {
        return isEnabled && ! (hasKeyboardFocus && ! isReadOnly);
    }

    void look_and_feel::drawTextEditorOutline (juce::Graphics& g, int width, int height, juce::TextEditor& editor)
    {
        if (! hasTextEditorOutline (editor.isEnabled(), editor.hasKeyboardFocus (true), editor.isReadOnly()))
            return;

        g.setColour (editor.findColour (juce::TextEditor::outlineColourId));
        g.drawRect (0, 0, width, height);
        g.setOpacity (1.0f);

        const auto shadow = editor.findColour (juce::TextEditor::shadowColourId);
        juce::LookAndFeel_V2::drawBevel (g, 0, 0, width, height + 2, 3, shadow, shadow);
    }

    const juce::Drawable* look_and_feel::getDefaultFolderImage()
    {
        if (folder_image == nullptr)
        {
            // A plain folder: a tab and a body.
            juce::Path folder;
            folder.addRoundedRectangle (0.0f, 10.0f, 100.0f, 70.0f, 6.0f);
            folder.addRoundedRectangle (0.0f, 0.0f, 40.0f, 20.0f, 6.0f);
            auto shape = std::make_unique<juce::DrawablePath>();
            shape->setPath (folder);
            shape->setFill (juce::Colour (palette::lightGrey));
            shape->setStrokeFill (juce::Colours::black);
            shape->setStrokeType (juce::PathStrokeType (3.0f));
            folder_image = std::move (shape);
        }

        return folder_image.get();
    }

    const juce::Drawable* look_and_feel::getDefaultDocumentFileImage()
    {
        if (document_image == nullptr)
        {
            // A sheet with a folded corner.
            juce::Path sheet;
            sheet.startNewSubPath (0.0f, 0.0f);
            sheet.lineTo (55.0f, 0.0f);
            sheet.lineTo (75.0f, 20.0f);
            sheet.lineTo (75.0f, 100.0f);
            sheet.lineTo (0.0f, 100.0f);
            sheet.closeSubPath();
            auto shape = std::make_unique<juce::DrawablePath>();
            shape->setPath (sheet);
            shape->setFill (juce::Colours::white);
            shape->setStrokeFill (juce::Colours::black);
            shape->setStrokeType (juce::PathStrokeType (3.0f));
            document_image = std::move (shape);
        }

        return document_image.get();
    }

    void look_and_feel::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
    {
        g.fillAll (findColour (juce::PopupMenu::backgroundColourId));
        g.setColour (findColour (juce::PopupMenu::textColourId).withAlpha (0.6f));
        g.drawRect (0, 0, width, height);
    }

    void look_and_feel::drawComboBox (juce::Graphics& g, int width, int height, bool,
                                      int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
    {
        // Flat: no outline and no button body, whatever the focus or press.
        g.setColour (box.findColour (juce::ComboBox::backgroundColourId));
        g.fillRect (0, 0, width, height);

        if (! box.isEnabled())
            return;

        const auto bx = (float) buttonX, by = (float) buttonY, bw = (float) buttonW, bh = (float) buttonH;
        juce::Path arrows;
        arrows.addTriangle (bx + bw * 0.5f, by + bh * 0.25f, bx + bw * 0.7f, by + bh * 0.45f, bx + bw * 0.3f, by + bh * 0.45f);
        arrows.addTriangle (bx + bw * 0.5f, by + bh * 0.75f, bx + bw * 0.7f, by + bh * 0.55f, bx + bw * 0.3f, by + bh * 0.55f);

        g.setColour (box.findColour (juce::ComboBox::arrowColourId));
        g.fillPath (arrows);
    }

    juce::Font look_and_feel::getComboBoxFont (juce::ComboBox&)
    {
        return juce::Font (combo_font_height);
    }

    void look_and_feel::drawLabel (juce::Graphics& g, juce::Label& label)
    {
        g.fillAll (label.findColour (juce::Label::backgroundColourId));

        juce::Colour outline;

        if (label.isBeingEdited())
        {
            g.fillAll (juce::Colour (palette::lightGrey));
            if (label.isEnabled())
                outline = label.findColour (juce::TextEditor::backgroundColourId);
        }
        else
        {
            const auto alpha = label.isEnabled() ? 1.0f : 0.5f;
            const auto font = getLabelFont (label);

            g.setColour (label.findColour (juce::Label::textColourId).withMultipliedAlpha (alpha));
            g.setFont (font);

            const auto textArea = label.getBorderSize().subtractedFrom (label.getLocalBounds());
            g.drawFittedText (label.getText(), textArea, label.getJustificationType(),
                              juce::jmax (1, (int) ((float) textArea.getHeight() / font.getHeight())),
                              label.getMinimumHorizontalScale());

            outline = label.findColour (juce::Label::outlineColourId).withMultipliedAlpha (alpha);
        }

        g.setColour (outline);
        g.drawRect (label.getLocalBounds());
    }

    void look_and_feel::drawLinearSliderBackground (juce::Graphics& g, int x, int y, int width, int height, float, float, float,
                                                    const juce::Slider::SliderStyle, juce::Slider& slider)
    {
        // A thin black track across the whole slider area.
        g.setColour (juce::Colour (0xbe000000));

        if (slider.isHorizontal())
            g.fillRect (x, y + height / 2 - 2, width, 4);
        else
            g.fillRect ((float) x + (float) width * 0.5f - 2.0f, (float) y, 4.0f, (float) height);
    }

    void look_and_feel::drawLinearSliderThumb (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                               float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle style,
                                               juce::Slider& slider)
    {
        // A black block with a white hair-line at the exact value; fixed
        // colours, so focus, hover and the enabled state do not change it.
        if (style == juce::Slider::LinearHorizontal)
        {
            const auto top = (float) y + (float) height * 0.5f - 10.0f;
            g.setColour (juce::Colour (0xff000000));
            g.fillRoundedRectangle (sliderPos - 4.0f, top, 9.0f, 20.0f, 1.0f);
            g.setColour (juce::Colour (0xffffffff));
            g.fillRect (sliderPos, top, 1.0f, 20.0f);
        }
        else if (style == juce::Slider::LinearVertical)
        {
            const auto left = (float) x + (float) width * 0.5f - 10.0f;
            g.setColour (juce::Colour (0xff000000));
            g.fillRoundedRectangle (left, sliderPos - 4.0f, 20.0f, 9.0f, 1.0f);
            g.setColour (juce::Colour (0xffffffff));
            g.fillRect (left, sliderPos, 20.0f, 1.0f);
        }
        else if (style == juce::Slider::TwoValueHorizontal || style == juce::Slider::TwoValueVertical
                 || style == juce::Slider::ThreeValueHorizontal || style == juce::Slider::ThreeValueVertical)
        {
            LookAndFeel_V2::drawLinearSliderThumb (g, x, y, width, height, sliderPos, minSliderPos, maxSliderPos, style, slider);
        }
    }

    void look_and_feel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                          float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider)
    {
        const auto radius = (float) juce::jmin (width / 2, height / 2) - 2.0f;

        if (! (radius > 12.0f))
        {
            LookAndFeel_V2::drawRotarySlider (g, x, y, width, height, sliderPos, rotaryStartAngle, rotaryEndAngle, slider);
            return;
        }

        const auto centreX = (float) x + (float) width * 0.5f;
        const auto centreY = (float) y + (float) height * 0.5f;
        const auto rx = centreX - radius;
        const auto ry = centreY - radius;
        const auto d = radius * 2.0f;
        const auto angle = rotaryStartAngle + sliderPos * (rotaryEndAngle - rotaryStartAngle);

        g.setColour (juce::Colour (palette::lightGrey));
        g.fillEllipse (rx + 2.0f, ry + 2.0f, d - 4.0f, d - 4.0f);

        juce::Path ring;
        ring.addEllipse (rx + 2.0f, ry + 2.0f, d - 4.0f, d - 4.0f);
        juce::PathStrokeType (3.0f).createStrokedPath (ring, ring);
        g.setColour (juce::Colour (0xff000000));
        g.fillPath (ring);

        const auto toKnob = juce::AffineTransform::rotation (angle).translated (centreX, centreY);

        juce::Path pointer;
        pointer.addRectangle (-3.5f, 3.5f - radius, 7.0f, radius - 3.5f);
        pointer.addEllipse (-3.5f, -3.5f, 7.0f, 7.0f);
        g.fillPath (pointer, toKnob);

        juce::Path hairLine;
        hairLine.addRectangle (-0.5f, 3.5f - radius, 1.0f, radius - 3.0f);
        g.setColour (juce::Colour (0xffffffff));
        g.fillPath (hairLine, toKnob);
    }

    juce::Label* look_and_feel::createSliderTextBox (juce::Slider& slider)
    {
        auto* label = new SliderLabelComp();
        const auto isBar = slider.getSliderStyle() == juce::Slider::LinearBar || slider.getSliderStyle() == juce::Slider::LinearBarVertical;

        label->setJustificationType (juce::Justification::centred);
        label->setKeyboardType (juce::TextInputTarget::decimalKeyboard);
        label->setColour (juce::Label::textColourId, slider.findColour (juce::Slider::textBoxTextColourId));
        label->setColour (juce::Label::backgroundColourId,
                          isBar ? juce::Colours::transparentBlack : slider.findColour (juce::Slider::textBoxBackgroundColourId));
        label->setColour (juce::Label::outlineColourId, slider.findColour (juce::Slider::textBoxOutlineColourId));
        label->setColour (juce::TextEditor::textColourId, slider.findColour (juce::Slider::textBoxTextColourId));
        label->setColour (juce::TextEditor::backgroundColourId,
                          slider.findColour (juce::Slider::textBoxBackgroundColourId).withAlpha (isBar ? 0.7f : 1.0f));
        label->setColour (juce::TextEditor::outlineColourId, slider.findColour (juce::Slider::textBoxOutlineColourId));
        label->setColour (juce::TextEditor::highlightColourId, slider.findColour (juce::Slider::textBoxHighlightColourId));
        return label;
    }

    juce::Button* look_and_feel::createDocumentWindowButton (int buttonType)
    {
        juce::Path shape;
        const auto crossThickness = 0.25f;

        if (buttonType == juce::DocumentWindow::closeButton)
        {
            shape.addLineSegment ({ 0.0f, 0.0f, 1.0f, 1.0f }, crossThickness * 1.4f);
            shape.addLineSegment ({ 1.0f, 0.0f, 0.0f, 1.0f }, crossThickness * 1.4f);
            return new GlassWindowButton ("close", juce::Colour (0xffdd1100), shape, shape);
        }

        if (buttonType == juce::DocumentWindow::minimiseButton)
        {
            shape.addLineSegment ({ 0.0f, 0.5f, 1.0f, 0.5f }, crossThickness);
            return new GlassWindowButton ("minimise", juce::Colour (0xffaa8811), shape, shape);
        }

        if (buttonType == juce::DocumentWindow::maximiseButton)
        {
            shape.addLineSegment ({ 0.5f, 0.0f, 0.5f, 1.0f }, crossThickness);
            shape.addLineSegment ({ 0.0f, 0.5f, 1.0f, 0.5f }, crossThickness);

            juce::Path fullscreen;
            fullscreen.startNewSubPath (45.0f, 100.0f);
            fullscreen.lineTo (0.0f, 100.0f);
            fullscreen.lineTo (0.0f, 0.0f);
            fullscreen.lineTo (100.0f, 0.0f);
            fullscreen.lineTo (100.0f, 45.0f);
            fullscreen.addRectangle (45.0f, 45.0f, 100.0f, 100.0f);
            juce::PathStrokeType (30.0f).createStrokedPath (fullscreen, fullscreen);
            return new GlassWindowButton ("maximise", juce::Colour (0xff119911), shape, fullscreen);
        }

        return nullptr;
    }

    void look_and_feel::drawTableHeaderBackground (juce::Graphics& g, juce::TableHeaderComponent& header)
    {
        g.fillAll (juce::Colours::white);

        auto area = header.getLocalBounds();
        area.removeFromTop (area.getHeight() / 2);

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xffe8ebf9), 0.0f, (float) area.getY(),
                                                 juce::Colour (0xfff6f8f9), 0.0f, (float) area.getBottom(), false));
        g.fillRect (area);

        g.setColour (juce::Colour (0x33000000));
        g.fillRect (area.removeFromBottom (1));

        for (int i = header.getNumColumns (true); --i >= 0;)
            g.fillRect (header.getColumnPosition (i).removeFromRight (1));
    }

    //==============================================================================
    void look_and_feel::drawScrollbarButton (juce::Graphics& g, juce::ScrollBar& scrollBar, int width, int height, int buttonDirection, bool isScrollbarVertical, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
    {
        LookAndFeel_V2::drawScrollbarButton (g, scrollBar, width, height, buttonDirection, isScrollbarVertical, shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);
    }

    void look_and_feel::drawScrollbar (juce::Graphics& g, juce::ScrollBar& scrollBar, int x, int y, int width, int height, bool isScrollbarVertical, int thumbStartPosition, int thumbSize, bool isMouseOver, bool isMouseDown)
    {
        LookAndFeel_V2::drawScrollbar (g, scrollBar, x, y, width, height, isScrollbarVertical, thumbStartPosition, thumbSize, isMouseOver, isMouseDown);
    }

    juce::ImageEffectFilter* look_and_feel::getScrollbarEffect()
    {
        return LookAndFeel_V2::getScrollbarEffect();
    }

    juce::Path look_and_feel::getTickShape (float height)
    {
        return LookAndFeel_V2::getTickShape (height);
    }

    juce::Path look_and_feel::getCrossShape (float height)
    {
        return LookAndFeel_V2::getCrossShape (height);
    }

    std::unique_ptr<juce::DropShadower> look_and_feel::createDropShadowerForComponent (juce::Component& component)
    {
        return LookAndFeel_V2::createDropShadowerForComponent (component);
    }

    void look_and_feel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
    {
        LookAndFeel_V2::drawButtonBackground (g, button, backgroundColour, shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);
    }

    void look_and_feel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
    {
        LookAndFeel_V2::drawButtonText (g, button, shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);
    }

    void look_and_feel::drawDrawableButton (juce::Graphics& g, juce::DrawableButton& button, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
    {
        LookAndFeel_V2::drawDrawableButton (g, button, shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);
    }

    void look_and_feel::drawImageButton (juce::Graphics& g, juce::Image* image, int imageX, int imageY, int imageW, int imageH, const juce::Colour& overlayColour, float imageOpacity, juce::ImageButton& button)
    {
        LookAndFeel_V2::drawImageButton (g, image, imageX, imageY, imageW, imageH, overlayColour, imageOpacity, button);
    }

    juce::CaretComponent* look_and_feel::createCaretComponent (juce::Component* keyFocusOwner)
    {
        return LookAndFeel_V2::createCaretComponent (keyFocusOwner);
    }

    juce::AttributedString look_and_feel::createFileChooserHeaderText (const juce::String& title, const juce::String& instructions)
    {
        return LookAndFeel_V2::createFileChooserHeaderText (title, instructions);
    }

    juce::Button* look_and_feel::createFileBrowserGoUpButton()
    {
        return LookAndFeel_V2::createFileBrowserGoUpButton();
    }

    void look_and_feel::drawTreeviewPlusMinusBox (juce::Graphics& g, const juce::Rectangle<float>& area, juce::Colour backgroundColour, bool isOpen, bool isMouseOver)
    {
        LookAndFeel_V2::drawTreeviewPlusMinusBox (g, area, backgroundColour, isOpen, isMouseOver);
    }

    juce::AlertWindow* look_and_feel::createAlertWindow (const juce::String& title, const juce::String& message, const juce::String& button1, const juce::String& button2, const juce::String& button3, juce::MessageBoxIconType iconType, int numButtons, juce::Component* associatedComponent)
    {
        return LookAndFeel_V2::createAlertWindow (title, message, button1, button2, button3, iconType, numButtons, associatedComponent);
    }

    void look_and_feel::drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea, juce::TextLayout& layout)
    {
        LookAndFeel_V2::drawAlertBox (g, alert, textArea, layout);
    }

    juce::Array<int> look_and_feel::getWidthsForTextButtons (juce::AlertWindow& alert, const juce::Array<juce::TextButton*>& buttons)
    {
        return LookAndFeel_V2::getWidthsForTextButtons (alert, buttons);
    }

    void look_and_feel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText, const juce::Drawable* icon, const juce::Colour* textColour)
    {
        LookAndFeel_V2::drawPopupMenuItem (g, area, isSeparator, isActive, isHighlighted, isTicked, hasSubMenu, text, shortcutKeyText, icon, textColour);
    }

    void look_and_feel::drawPopupMenuSectionHeader (juce::Graphics& g, const juce::Rectangle<int>& area, const juce::String& sectionName)
    {
        LookAndFeel_V2::drawPopupMenuSectionHeader (g, area, sectionName);
    }

    void look_and_feel::drawPopupMenuUpDownArrow (juce::Graphics& g, int width, int height, bool isScrollUpArrow)
    {
        LookAndFeel_V2::drawPopupMenuUpDownArrow (g, width, height, isScrollUpArrow);
    }

    void look_and_feel::drawMenuBarBackground (juce::Graphics& g, int width, int height, bool isMouseOverBar, juce::MenuBarComponent& menuBar)
    {
        LookAndFeel_V2::drawMenuBarBackground (g, width, height, isMouseOverBar, menuBar);
    }

    void look_and_feel::drawMenuBarItem (juce::Graphics& g, int width, int height, int itemIndex, const juce::String& itemText, bool isMouseOverItem, bool isMenuOpen, bool isMouseOverBar, juce::MenuBarComponent& menuBar)
    {
        LookAndFeel_V2::drawMenuBarItem (g, width, height, itemIndex, itemText, isMouseOverItem, isMenuOpen, isMouseOverBar, menuBar);
    }

    juce::Font look_and_feel::getLabelFont (juce::Label& label)
    {
        return LookAndFeel_V2::getLabelFont (label);
    }

    void look_and_feel::drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos, float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle style, juce::Slider& slider)
    {
        LookAndFeel_V2::drawLinearSlider (g, x, y, width, height, sliderPos, minSliderPos, maxSliderPos, style, slider);
    }

    int look_and_feel::getSliderThumbRadius (juce::Slider& slider)
    {
        return LookAndFeel_V2::getSliderThumbRadius (slider);
    }

    juce::Button* look_and_feel::createSliderButton (juce::Slider& slider, bool isIncrement)
    {
        return LookAndFeel_V2::createSliderButton (slider, isIncrement);
    }

    juce::ImageEffectFilter* look_and_feel::getSliderEffect (juce::Slider& slider)
    {
        return LookAndFeel_V2::getSliderEffect (slider);
    }

    juce::Slider::SliderLayout look_and_feel::getSliderLayout (juce::Slider& slider)
    {
        return LookAndFeel_V2::getSliderLayout (slider);
    }

    void look_and_feel::drawCornerResizer (juce::Graphics& g, int w, int h, bool isMouseOver, bool isMouseDragging)
    {
        LookAndFeel_V2::drawCornerResizer (g, w, h, isMouseOver, isMouseDragging);
    }

    void look_and_feel::drawResizableFrame (juce::Graphics& g, int w, int h, const juce::BorderSize<int>& border)
    {
        LookAndFeel_V2::drawResizableFrame (g, w, h, border);
    }

    void look_and_feel::fillResizableWindowBackground (juce::Graphics& g, int w, int h, const juce::BorderSize<int>& border, juce::ResizableWindow& window)
    {
        LookAndFeel_V2::fillResizableWindowBackground (g, w, h, border, window);
    }

    void look_and_feel::drawDocumentWindowTitleBar (juce::DocumentWindow& window, juce::Graphics& g, int w, int h, int titleSpaceX, int titleSpaceW, const juce::Image* icon, bool drawTitleTextOnLeft)
    {
        LookAndFeel_V2::drawDocumentWindowTitleBar (window, g, w, h, titleSpaceX, titleSpaceW, icon, drawTitleTextOnLeft);
    }

    void look_and_feel::positionDocumentWindowButtons (juce::DocumentWindow& window, int titleBarX, int titleBarY, int titleBarW, int titleBarH, juce::Button* minimiseButton, juce::Button* maximiseButton, juce::Button* closeButton, bool positionTitleBarButtonsOnLeft)
    {
        LookAndFeel_V2::positionDocumentWindowButtons (window, titleBarX, titleBarY, titleBarW, titleBarH, minimiseButton, maximiseButton, closeButton, positionTitleBarButtonsOnLeft);
    }

    juce::Rectangle<int> look_and_feel::getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos, juce::Rectangle<int> parentArea)
    {
        return LookAndFeel_V2::getTooltipBounds (tipText, screenPos, parentArea);
    }

    void look_and_feel::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
    {
        LookAndFeel_V2::drawTooltip (g, text, width, height);
    }

    void look_and_feel::drawTabButton (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown)
    {
        LookAndFeel_V2::drawTabButton (button, g, isMouseOver, isMouseDown);
    }

    void look_and_feel::drawTabButtonText (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown)
    {
        LookAndFeel_V2::drawTabButtonText (button, g, isMouseOver, isMouseDown);
    }

    void look_and_feel::drawTabAreaBehindFrontButton (juce::TabbedButtonBar& tabBar, juce::Graphics& g, int w, int h)
    {
        LookAndFeel_V2::drawTabAreaBehindFrontButton (tabBar, g, w, h);
    }

    void look_and_feel::fillTabButtonShape (juce::TabBarButton& button, juce::Graphics& g, const juce::Path& path, bool isMouseOver, bool isMouseDown)
    {
        LookAndFeel_V2::fillTabButtonShape (button, g, path, isMouseOver, isMouseDown);
    }

    juce::Button* look_and_feel::createTabBarExtrasButton()
    {
        return LookAndFeel_V2::createTabBarExtrasButton();
    }

    void look_and_feel::drawPropertyPanelSectionHeader (juce::Graphics& g, const juce::String& name, bool isOpen, int width, int height)
    {
        LookAndFeel_V2::drawPropertyPanelSectionHeader (g, name, isOpen, width, height);
    }

    void look_and_feel::drawPropertyComponentLabel (juce::Graphics& g, int width, int height, juce::PropertyComponent& component)
    {
        LookAndFeel_V2::drawPropertyComponentLabel (g, width, height, component);
    }

    juce::Button* look_and_feel::createFilenameComponentBrowseButton (const juce::String& text)
    {
        return LookAndFeel_V2::createFilenameComponentBrowseButton (text);
    }

    void look_and_feel::layoutFilenameComponent (juce::FilenameComponent& filenameComponent, juce::ComboBox* filenameBox, juce::Button* browseButton)
    {
        LookAndFeel_V2::layoutFilenameComponent (filenameComponent, filenameBox, browseButton);
    }

    void look_and_feel::drawGroupComponentOutline (juce::Graphics& g, int w, int h, const juce::String& text, const juce::Justification& justification, juce::GroupComponent& group)
    {
        LookAndFeel_V2::drawGroupComponentOutline (g, w, h, text, justification, group);
    }

    void look_and_feel::drawCallOutBoxBackground (juce::CallOutBox& box, juce::Graphics& g, const juce::Path& path, juce::Image& cachedImage)
    {
        LookAndFeel_V2::drawCallOutBoxBackground (box, g, path, cachedImage);
    }

    void look_and_feel::paintToolbarButtonLabel (juce::Graphics& g, int x, int y, int width, int height, const juce::String& text, juce::ToolbarItemComponent& item)
    {
        LookAndFeel_V2::paintToolbarButtonLabel (g, x, y, width, height, text, item);
    }

    void look_and_feel::drawConcertinaPanelHeader (juce::Graphics& g, const juce::Rectangle<int>& area, bool isMouseOver, bool isMouseDown, juce::ConcertinaPanel& concertina, juce::Component& panel)
    {
        LookAndFeel_V2::drawConcertinaPanelHeader (g, area, isMouseOver, isMouseDown, concertina, panel);
    }

    void look_and_feel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& progressBar, int width, int height, double progress, const juce::String& textToShow)
    {
        LookAndFeel_V2::drawProgressBar (g, progressBar, width, height, progress, textToShow);
    }

    void look_and_feel::drawStretchableLayoutResizerBar (juce::Graphics& g, int w, int h, bool isVerticalBar, bool isMouseOver, bool isMouseDragging)
    {
        LookAndFeel_V2::drawStretchableLayoutResizerBar (g, w, h, isVerticalBar, isMouseOver, isMouseDragging);
    }

    void look_and_feel::drawKeymapChangeButton (juce::Graphics& g, int width, int height, juce::Button& button, const juce::String& keyDescription)
    {
        LookAndFeel_V2::drawKeymapChangeButton (g, width, height, button, keyDescription);
    }

    void look_and_feel::drawLevelMeter (juce::Graphics& g, int width, int height, float level)
    {
        LookAndFeel_V2::drawLevelMeter (g, width, height, level);
    }

    void look_and_feel::drawLasso (juce::Graphics& g, juce::Component& component)
    {
        LookAndFeel_V2::drawLasso (g, component);
    }
}
