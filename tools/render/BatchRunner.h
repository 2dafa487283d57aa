#pragma once

#include "render/RenderOptions.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <string>
#include <vector>

/** Renders many files (--output-dir) by running this same program once per
    file, a few at a time. Each file is then an ordinary single render with
    all of its care (partial file renamed into place, input never written,
    cleanup on a signal), its memory is that of one render, and a file that
    fails, or even crashes its process, costs only that file.

    Everything that can be known before the first render is checked first:
    an INPUT folder without --recursive, two inputs with one result, a
    result that would replace an input, DIR inside a folder being walked.
    Those end the run with the usage status before anything is written. */
class BatchRunner
{
public:
    explicit BatchRunner (RenderOptions options);

    /** Returns the exit status: 0 when every file was rendered (or skipped
        because its result exists), 1 when some failed, 2 for a command line
        that cannot work, 128 + n after signal n. */
    int run();

    /** The audio files a folder walk takes, by the end of their name. */
    static bool hasAudioName (const std::string& fileName);

private:
    struct Item
    {
        std::string input, output;
        double seconds = 0.0;   // length of the audio, 0 when unknown
        std::string failure;    // why it was not rendered
        bool done = false;
        bool skip = false;   // its result exists
    };

    struct Child;

    bool plan();
    bool addFolder (const std::string& argument);
    void measure (Item& item);
    bool launch (Item& item, Child& child);
    void finished (Child& child, int waitStatus);
    bool makeFoldersFor (const std::string& output, std::string& error);
    void removeFoldersMadeIfEmpty();

    void print (const std::string& line);
    void drawProgress (bool force);

    int usageError (const juce::String& message);

    RenderOptions options;
    juce::AudioFormatManager formats;
    std::vector<Item> items;
    std::vector<std::pair<std::string, std::string>> skippedExisting;   // input, output
    std::vector<std::string> foldersMade;
    std::vector<std::string> notes;   // shown once the whole batch is known to be sound
    int jobs = 1;
    bool showProgress = false;
    bool progressShown = false;
    double totalSeconds = 0.0, secondsDone = 0.0;
    double startTime = 0.0, lastDraw = 0.0;
    int filesDone = 0, filesFailed = 0;
};
