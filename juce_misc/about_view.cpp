#include "juce_misc/about_view.h"

#include <BinaryData.h>
#include <TessaroIdentity.h>

namespace velmoor::juce_misc
{
    namespace
    {
        const char* const productName = tessaro::identity::productName;
        const char* const productVersion = tessaro::identity::versionString;

        // The web address as people type it: "www." and the site's domain.
        juce::String websiteText()
        {
            return "www." + juce::URL (tessaro::identity::companyWebsite).getDomain();
        }

        const char* const legalText =
            "\n"
            "TessaroEQ is a product of\n"
            "Velmoor\n"
            "All rights reserved.\n"
            "\n"
            "VST is a registered trademark of Steinberg Media Technologies GmbH.";

        std::unique_ptr<juce::Label> makeLabel (const juce::String& name, const juce::String& text,
                                                const juce::Font& font, juce::Justification justification)
        {
            auto label = std::make_unique<juce::Label> (name, text);
            label->setFont (font);
            label->setJustificationType (justification);
            label->setEditable (false, false, false);
            label->setColour (juce::Label::textColourId, juce::Colours::white);
            return label;
        }
    }

    about_view::about_view()
    {
        background_drawable = juce::Drawable::createFromImageData (BinaryData::about_background_svg,
                                                                   BinaryData::about_background_svgSize);
        if (background_drawable != nullptr)
            background_drawable->setTransformToFit ({ 0.0f, 0.0f, (float) cardWidth, (float) cardHeight },
                                                    juce::RectanglePlacement::xLeft);

        title_label = makeLabel ({}, juce::String (productName) + " ver. " + productVersion,
                                 juce::Font (21.0f, juce::Font::bold), juce::Justification::centred);
        addAndMakeVisible (*title_label);

        design_label = makeLabel ({}, juce::translate ("Design & Concept by"), juce::Font (11.0f), juce::Justification::left);
        addAndMakeVisible (*design_label);

        realisation_label = makeLabel ({}, juce::translate ("Realisation by"), juce::Font (11.0f), juce::Justification::left);
        addAndMakeVisible (*realisation_label);

        credits_label = makeLabel ("new label", websiteText() + "\n" + juce::translate (legalText), juce::Font (13.0f), juce::Justification::topLeft);
        addAndMakeVisible (*credits_label);
    }

    about_view::~about_view()
    {
        background_drawable.reset();
        title_label.reset();
        credits_label.reset();
        design_label.reset();
        realisation_label.reset();
    }

    void about_view::paint (juce::Graphics& g)
    {
        g.setColour (juce::Colour (0xd8282828));
        g.fillAll();

        if (background_drawable != nullptr)
            background_drawable->draw (g, 1.0f, juce::AffineTransform());
    }

    void about_view::resized()
    {
        // The card sits centred, one pixel above the vertical centre.
        const auto cx = getWidth() / 2;
        const auto cy = getHeight() / 2;

        if (background_drawable != nullptr)
            background_drawable->setTransformToFit ({ (float) (cx - 220), (float) (cy - 148), (float) cardWidth, (float) cardHeight },
                                                    juce::RectanglePlacement::xLeft);

        title_label->setBounds (cx - 220, cy - 128, 440, 30);
        design_label->setBounds (cx - 195, cy - 79, 334, 12);
        realisation_label->setBounds (cx + 19, cy - 79, 334, 12);
        credits_label->setBounds (cx - 195, cy + 28, 334, 124);
    }
}
