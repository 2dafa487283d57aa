#pragma once

#include "juce_misc/component_base.h"

namespace velmoor::juce_misc
{
    /** The about panel: darkens whatever it covers and shows a 440 x 295
        card in its centre with the product name and version, the two credit
        captions and the legal text. The card image is drawn, not a child;
        an owner may replace background_drawable before laying the panel out. */
    struct about_view : public component_base
    {
        about_view();
        ~about_view() override;

        void paint (juce::Graphics& g) override;
        void resized() override;

        static constexpr int cardWidth = 440;
        static constexpr int cardHeight = 295;

        std::unique_ptr<juce::Drawable> background_drawable;
        std::unique_ptr<juce::Label> title_label;
        std::unique_ptr<juce::Label> credits_label;
        std::unique_ptr<juce::Label> design_label;
        std::unique_ptr<juce::Label> realisation_label;
    };
}
