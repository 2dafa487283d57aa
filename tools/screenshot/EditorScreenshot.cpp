// Renders the plug-in window headlessly: tessaroeq-screenshot OUTPUT_FOLDER
// writes screenshot.png (default settings), screenshot-about.png (the about
// panel held open) and screenshot-preset.png ("Singbird (Close)" recalled).

#include "editor/TessaroAudioProcessorEditor.h"
#include "processor/TessaroAudioProcessor.h"

#include <cstdio>

namespace
{
    bool save (juce::Component& c, const juce::File& file)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        const auto image = c.createComponentSnapshot (c.getLocalBounds(), false, 1.0f);

        juce::TemporaryFile temporary (file);
        {
            juce::FileOutputStream out (temporary.getFile());
            if (! out.openedOk() || ! juce::PNGImageFormat().writeImageToStream (image, out))
                return false;
        }
        return temporary.overwriteTargetFileWithTemporary();
    }

    juce::MouseEvent pressAt (juce::Component& c, juce::Point<float> pos)
    {
        auto source = juce::Desktop::getInstance().getMainMouseSource();
        return { source, pos, juce::ModifierKeys::leftButtonModifier, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &c, &c,
                 juce::Time::getCurrentTime(), pos, juce::Time::getCurrentTime(), 1, false };
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: tessaroeq-screenshot OUTPUT_FOLDER\n");
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    if (! folder.createDirectory())
    {
        std::fprintf (stderr, "tessaroeq-screenshot: cannot create '%s'\n", argv[1]);
        return 1;
    }

    TessaroAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    bool ok = true;

    {
        TessaroAudioProcessorEditor editor (processor);
        ok &= save (editor, folder.getChildFile ("screenshot.png"));

        const auto centre = TessaroAudioProcessorEditor::aboutArea().getCentre().toFloat();
        editor.mouseDown (pressAt (editor, centre));
        ok &= save (editor, folder.getChildFile ("screenshot-about.png"));
        editor.mouseUp (pressAt (editor, centre));

        for (auto* child : editor.getChildren())
            if (auto* box = dynamic_cast<juce::ComboBox*> (child); box != nullptr && box->getTitle() == "Preset")
                box->setSelectedId (3, juce::sendNotificationSync);
        ok &= save (editor, folder.getChildFile ("screenshot-preset.png"));
    }

    if (! ok)
    {
        std::fprintf (stderr, "tessaroeq-screenshot: writing into '%s' failed\n", argv[1]);
        return 1;
    }

    std::printf ("screenshots written to %s\n", folder.getFullPathName().toRawUTF8());
    return 0;
}
