#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_extra/juce_gui_extra.h>

namespace velmoor::juce_misc
{
    /** The house look: the framework's LookAndFeel_V2 drawing under a light
        grey and black palette, with two embedded typefaces and a set of flat
        custom controls (sliders, choice boxes, labels, toggles, popup menus).

        It derives from LookAndFeel_V1 but overrides every method V1 changes,
        so what is not drawn in the house style is drawn exactly as V2 draws
        it; those methods call LookAndFeel_V2 directly. */
    class look_and_feel : public juce::LookAndFeel_V1
    {
    public:
        look_and_feel();
        ~look_and_feel() override;

        /** The value box of every slider: a label that ignores the mouse
            wheel, so turning the wheel over it neither edits nor drags. */
        class SliderLabelComp : public juce::Label
        {
        public:
            SliderLabelComp();
            void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
        };

        /** A title-bar button of document windows: a glassy sphere with a symbol. */
        class GlassWindowButton : public juce::Button
        {
        public:
            GlassWindowButton (const juce::String& name, juce::Colour colour, const juce::Path& normalShape, const juce::Path& toggledShape);
            ~GlassWindowButton() override;
            void paintButton (juce::Graphics& g, bool isHighlighted, bool isDown) override;

            juce::Colour sphere_colour;
            juce::Path off_shape, on_shape;
        };

        /** Every colour id the house palette sets, with its value. */
        struct PaletteEntry
        {
            int colourId;
            juce::uint32 argb;
        };
        static const std::vector<PaletteEntry>& palette();

        // Typefaces: bold alone picks the bold face, every other style the light face.
        juce::Typeface::Ptr getTypefaceForFont (const juce::Font& font) override;

        // Custom drawing.
        void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool isHighlighted, bool isDown) override;
        void changeToggleButtonWidthToFitText (juce::ToggleButton& button) override;
        void drawTickBox (juce::Graphics& g, juce::Component& component, float x, float y, float w, float h,
                          bool ticked, bool isEnabled, bool isHighlighted, bool isDown) override;
        void drawTextEditorOutline (juce::Graphics& g, int width, int height, juce::TextEditor& editor) override;

        /** Text editors show no outline while disabled, nor while they are
            being typed into (focused and editable). */
        static bool hasTextEditorOutline (bool isEnabled, bool hasKeyboardFocus, bool isReadOnly) noexcept;
        const juce::Drawable* getDefaultFolderImage() override;
        const juce::Drawable* getDefaultDocumentFileImage() override;
        void drawPopupMenuBackground (juce::Graphics& g, int width, int height) override;
        void drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown,
                           int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox& box) override;
        juce::Font getComboBoxFont (juce::ComboBox& box) override;
        void drawLabel (juce::Graphics& g, juce::Label& label) override;
        void drawLinearSliderBackground (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                         float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle style,
                                         juce::Slider& slider) override;
        void drawLinearSliderThumb (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                    float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle style,
                                    juce::Slider& slider) override;
        void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                               float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider) override;
        juce::Label* createSliderTextBox (juce::Slider& slider) override;
        juce::Button* createDocumentWindowButton (int buttonType) override;
        void drawTableHeaderBackground (juce::Graphics& g, juce::TableHeaderComponent& header) override;

        // Drawn as LookAndFeel_V2 draws them.
        void drawScrollbarButton (juce::Graphics& g, juce::ScrollBar& scrollBar, int width, int height, int buttonDirection, bool isScrollbarVertical, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
        void drawScrollbar (juce::Graphics& g, juce::ScrollBar& scrollBar, int x, int y, int width, int height, bool isScrollbarVertical, int thumbStartPosition, int thumbSize, bool isMouseOver, bool isMouseDown) override;
        juce::ImageEffectFilter* getScrollbarEffect() override;
        juce::Path getTickShape (float height) override;
        juce::Path getCrossShape (float height) override;
        std::unique_ptr<juce::DropShadower> createDropShadowerForComponent (juce::Component& component) override;
        void drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
        void drawButtonText (juce::Graphics& g, juce::TextButton& button, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
        void drawDrawableButton (juce::Graphics& g, juce::DrawableButton& button, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
        void drawImageButton (juce::Graphics& g, juce::Image* image, int imageX, int imageY, int imageW, int imageH, const juce::Colour& overlayColour, float imageOpacity, juce::ImageButton& button) override;
        juce::CaretComponent* createCaretComponent (juce::Component* keyFocusOwner) override;
        juce::AttributedString createFileChooserHeaderText (const juce::String& title, const juce::String& instructions) override;
        juce::Button* createFileBrowserGoUpButton() override;
        void drawTreeviewPlusMinusBox (juce::Graphics& g, const juce::Rectangle<float>& area, juce::Colour backgroundColour, bool isOpen, bool isMouseOver) override;
        juce::AlertWindow* createAlertWindow (const juce::String& title, const juce::String& message, const juce::String& button1, const juce::String& button2, const juce::String& button3, juce::MessageBoxIconType iconType, int numButtons, juce::Component* associatedComponent) override;
        void drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea, juce::TextLayout& layout) override;
        juce::Array<int> getWidthsForTextButtons (juce::AlertWindow& alert, const juce::Array<juce::TextButton*>& buttons) override;
        void drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText, const juce::Drawable* icon, const juce::Colour* textColour) override;
        void drawPopupMenuSectionHeader (juce::Graphics& g, const juce::Rectangle<int>& area, const juce::String& sectionName) override;
        void drawPopupMenuUpDownArrow (juce::Graphics& g, int width, int height, bool isScrollUpArrow) override;
        void drawMenuBarBackground (juce::Graphics& g, int width, int height, bool isMouseOverBar, juce::MenuBarComponent& menuBar) override;
        void drawMenuBarItem (juce::Graphics& g, int width, int height, int itemIndex, const juce::String& itemText, bool isMouseOverItem, bool isMenuOpen, bool isMouseOverBar, juce::MenuBarComponent& menuBar) override;
        juce::Font getLabelFont (juce::Label& label) override;
        void drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos, float minSliderPos, float maxSliderPos, const juce::Slider::SliderStyle style, juce::Slider& slider) override;
        int getSliderThumbRadius (juce::Slider& slider) override;
        juce::Button* createSliderButton (juce::Slider& slider, bool isIncrement) override;
        juce::ImageEffectFilter* getSliderEffect (juce::Slider& slider) override;
        juce::Slider::SliderLayout getSliderLayout (juce::Slider& slider) override;
        void drawCornerResizer (juce::Graphics& g, int w, int h, bool isMouseOver, bool isMouseDragging) override;
        void drawResizableFrame (juce::Graphics& g, int w, int h, const juce::BorderSize<int>& border) override;
        void fillResizableWindowBackground (juce::Graphics& g, int w, int h, const juce::BorderSize<int>& border, juce::ResizableWindow& window) override;
        void drawDocumentWindowTitleBar (juce::DocumentWindow& window, juce::Graphics& g, int w, int h, int titleSpaceX, int titleSpaceW, const juce::Image* icon, bool drawTitleTextOnLeft) override;
        void positionDocumentWindowButtons (juce::DocumentWindow& window, int titleBarX, int titleBarY, int titleBarW, int titleBarH, juce::Button* minimiseButton, juce::Button* maximiseButton, juce::Button* closeButton, bool positionTitleBarButtonsOnLeft) override;
        juce::Rectangle<int> getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos, juce::Rectangle<int> parentArea) override;
        void drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height) override;
        void drawTabButton (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown) override;
        void drawTabButtonText (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown) override;
        void drawTabAreaBehindFrontButton (juce::TabbedButtonBar& tabBar, juce::Graphics& g, int w, int h) override;
        void fillTabButtonShape (juce::TabBarButton& button, juce::Graphics& g, const juce::Path& path, bool isMouseOver, bool isMouseDown) override;
        juce::Button* createTabBarExtrasButton() override;
        void drawPropertyPanelSectionHeader (juce::Graphics& g, const juce::String& name, bool isOpen, int width, int height) override;
        void drawPropertyComponentLabel (juce::Graphics& g, int width, int height, juce::PropertyComponent& component) override;
        juce::Button* createFilenameComponentBrowseButton (const juce::String& text) override;
        void layoutFilenameComponent (juce::FilenameComponent& filenameComponent, juce::ComboBox* filenameBox, juce::Button* browseButton) override;
        void drawGroupComponentOutline (juce::Graphics& g, int w, int h, const juce::String& text, const juce::Justification& justification, juce::GroupComponent& group) override;
        void drawCallOutBoxBackground (juce::CallOutBox& box, juce::Graphics& g, const juce::Path& path, juce::Image& cachedImage) override;
        void paintToolbarButtonLabel (juce::Graphics& g, int x, int y, int width, int height, const juce::String& text, juce::ToolbarItemComponent& item) override;
        void drawConcertinaPanelHeader (juce::Graphics& g, const juce::Rectangle<int>& area, bool isMouseOver, bool isMouseDown, juce::ConcertinaPanel& concertina, juce::Component& panel) override;
        void drawProgressBar (juce::Graphics& g, juce::ProgressBar& progressBar, int width, int height, double progress, const juce::String& textToShow) override;
        void drawStretchableLayoutResizerBar (juce::Graphics& g, int w, int h, bool isVerticalBar, bool isMouseOver, bool isMouseDragging) override;
        void drawKeymapChangeButton (juce::Graphics& g, int width, int height, juce::Button& button, const juce::String& keyDescription) override;
        void drawLevelMeter (juce::Graphics& g, int width, int height, float level) override;
        void drawLasso (juce::Graphics& g, juce::Component& component) override;

        std::unique_ptr<juce::Drawable> folder_image;
        std::unique_ptr<juce::Drawable> document_image;
        float combo_font_height = 15.0f;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (look_and_feel)
    };
}
