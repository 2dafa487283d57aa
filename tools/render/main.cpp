// tessaroeq-render: runs the TessaroEQ processor over audio files offline.

#include "render/RenderJob.h"
#include "render/RenderOptions.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <cstdio>

namespace
{
    extern "C" void onSignal (int)   { RenderJob::requestStop(); }
}

int main (int argc, char* argv[])
{
    juce::StringArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));

    auto parsed = RenderOptions::parse (arguments);

    if (parsed.helpRequested)
    {
        std::fputs (RenderOptions::usage().toRawUTF8(), stdout);
        return 0;
    }

    if (! parsed.options)
    {
        std::fprintf (stderr, "tessaroeq-render: error: %s\n", parsed.error.toRawUTF8());
        return RenderOptions::usageError;
    }

    std::signal (SIGINT, onSignal);
    std::signal (SIGTERM, onSignal);

    // Fonts for the plot and the processor's change notifications need the
    // framework's message manager; no window is opened.
    juce::ScopedJuceInitialiser_GUI juce;
    return RenderJob (std::move (*parsed.options)).run();
}
