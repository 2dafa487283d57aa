#include "render/RenderOptions.h"
#include "processor/TessaroPresets.h"

#include <cmath>
#include <cstdlib>

namespace
{
    /** A plain decimal number ("50", "-1", "12.5", "1e3"): no spaces, no
        hexadecimal, no "inf" or "nan", which the C library would accept. */
    std::optional<double> parseNumber (const juce::String& text)
    {
        if (text.isEmpty() || ! text.containsOnly ("0123456789+-.eE"))
            return std::nullopt;

        const auto first = text[0];
        if (! (juce::CharacterFunctions::isDigit (first) || first == '-' || first == '+' || first == '.'))
            return std::nullopt;

        const auto* start = text.toRawUTF8();
        char* end = nullptr;
        const auto value = std::strtod (start, &end);

        if (end == start || *end != '\0' || ! std::isfinite (value))
            return std::nullopt;

        return value;
    }

    std::optional<float> parseChoice (const juce::String& text, std::initializer_list<std::initializer_list<const char*>> names)
    {
        int index = 0;
        for (const auto& spellings : names)
        {
            for (auto* spelling : spellings)
                if (text.equalsIgnoreCase (spelling))
                    return (float) index;
            ++index;
        }
        return std::nullopt;
    }
}

namespace
{
    /** What a batch cannot take: options that name one file of their own
        (each file would overwrite the last), and a batch without inputs. */
    juce::String checkBatch (RenderOptions& options, const juce::StringArray& positional)
    {
        // clang-format off
        const std::pair<const char*, const juce::String*> singleFileOptions[] {
            { "--save-settings", &options.saveSettingsPath }, { "--response", &options.responsePath },
            { "--plot", &options.plotPath }, { "--spectrum", &options.spectrumPath } };
        // clang-format on

        for (const auto& [name, path] : singleFileOptions)
            if (path->isNotEmpty())
                return juce::String (name) + " writes one file and cannot be used with --output-dir (run it on its own)";

        if (options.sampleRate)
            return "--sample-rate applies only without INPUT: each file's own rate is used";
        if (options.listPresets)
            return "--list-presets cannot be used with --output-dir (run it on its own)";
        if (positional.isEmpty())
            return "--output-dir needs at least one INPUT (see --help)";

        for (const auto& input : positional)
            if (input.isEmpty())
                return "INPUT is an empty name (see --help)";

        options.inputs = positional;
        return {};
    }
}

juce::String RenderOptions::usage()
{
    return "Usage: tessaroeq-render [options] INPUT OUTPUT\n"
           "       tessaroeq-render [options] --output-dir DIR [--recursive] INPUT...\n"
           "Equalises a parabolic-dish recording with TessaroEQ.\n"
           "\n"
           "  --preset NAME            one of the nine preset names, case-insensitive (\"singbird (far)\")\n"
           "  --microphone A|B|C|0|1|2 capsule: Model A (Cardioid), Model B (Wide/Open Cardioid), Model C (Omnidirectional)\n"
           "  --wind-cover none|windjammer|hwc|0|1|2\n"
           "  --low-cut on|off\n"
           "  --distance P  --aim P  --free-field P    percent, 0 to 100\n"
           "  --settings FILE          load a settings file: the processor's state block, exactly as a host stores it\n"
           "  --save-settings FILE     write the processor's state block once all options are applied\n"
           "  --response FILE|-        write the correction in force as CSV, header \"frequency_hz,gain_db\", one row per grid point (300)\n"
           "  --plot FILE.png          draw the response graph as the editor's graph field shows it (grid, labels, curve)\n"
           "  --spectrum FILE.png      draw the long-term average spectrum of INPUT and of OUTPUT, in dB (needs INPUT)\n"
           "  --sample-rate R          sample rate for --response/--plot when there is no INPUT (default 44100)\n"
           "  --block-size N           host block size to simulate (default 512)\n"
           "  --list-presets           print the nine presets with their values\n"
           "  --output-dir DIR         batch: render every INPUT to DIR under its own name\n"
           "  --recursive              batch: INPUT may be a folder, walked with its subfolders (kept under DIR/FOLDER/)\n"
           "  --suffix TEXT            batch: add TEXT to each result's name before its extension (\"-eq\")\n"
           "  --overwrite              batch: replace results that exist (they are skipped otherwise)\n"
           "  -j, --jobs N             batch: render N files at once (default: the number of cores)\n"
           "  -q, --quiet              no progress bar, notes or warnings\n"
           "  -h, --help               print this help\n"
           "\n"
           "Settings apply in this order: settings file, preset, then each single option.\n"
           "--save-settings, --response, --plot and --list-presets work without INPUT and OUTPUT.\n"
           "A batch takes the settings options only; in a folder, files not named as audio\n"
           "(.wav .bwf .aif .aiff .flac .ogg) and hidden files are skipped.\n"
           "Exit status: 0 success, 1 file or format error (in a batch: some file failed), 2 usage error.\n";
}

RenderOptions::ParseResult RenderOptions::parse (const juce::StringArray& arguments)
{
    ParseResult result;
    RenderOptions options;
    juce::StringArray positional;
    juce::String batchOnlyOption;   // the last option that only a batch takes

    auto fail = [&result] (const juce::String& message) {
        result.options.reset();
        result.error = message;
        return result;
    };

    for (int i = 0; i < arguments.size(); ++i)
    {
        auto argument = arguments[i];

        if (argument == "--")
        {
            for (++i; i < arguments.size(); ++i)
                positional.add (arguments[i]);
            break;
        }

        if (! argument.startsWith ("-") || argument == "-")
        {
            positional.add (argument);
            continue;
        }

        if (argument == "-h" || argument == "--help")
        {
            result.helpRequested = true;
            result.options = options;
            return result;
        }

        // clang-format off
        if (argument == "-q" || argument == "--quiet")   { options.quiet = true; continue; }
        if (argument == "--list-presets")                { options.listPresets = true; continue; }
        if (argument == "--recursive")                   { options.recursive = true; batchOnlyOption = argument; continue; }
        if (argument == "--overwrite")                   { options.overwrite = true; batchOnlyOption = argument; continue; }
        // clang-format on

        if (argument.startsWith ("-j") && argument.length() > 2)   // "-j4"
            argument = "--jobs=" + argument.substring (2);

        // Every other option takes a value, as "--name value" or "--name=value".
        juce::String name = argument, value;
        if (argument.startsWith ("--") && argument.contains ("="))
        {
            name = argument.upToFirstOccurrenceOf ("=", false, false);
            value = argument.fromFirstOccurrenceOf ("=", false, false);
        }
        else
        {
            static const juce::StringArray valued { "--preset", "--microphone", "--wind-cover", "--low-cut", "--distance",
                                                    "--aim", "--free-field", "--settings", "--save-settings", "--response",
                                                    "--plot", "--spectrum", "--sample-rate", "--block-size",
                                                    "--output-dir", "--suffix", "-j", "--jobs" };
            if (! valued.contains (argument))
                return fail ("unknown option '" + argument + "' (see --help)");
            if (i + 1 >= arguments.size())
                return fail ("option " + argument + " needs a value");
            value = arguments[++i];
        }

        auto percent = [&] (std::optional<float>& target) -> bool {
            const auto number = parseNumber (value);
            if (! number || *number < 0.0 || *number > 100.0)
            {
                result.error = name + ": '" + value + "' is not a percentage from 0 to 100";
                return false;
            }
            target = (float) *number;
            return true;
        };

        auto choice = [&] (std::optional<float>& target, std::initializer_list<std::initializer_list<const char*>> names,
                           const char* allowed) -> bool {
            target = parseChoice (value, names);
            if (! target)
                result.error = name + ": '" + value + "' is not one of " + allowed;
            return target.has_value();
        };

        bool ok = true;

        if (name == "--preset")
        {
            options.preset = TessaroPresets::findByName (value);
            options.presetName = value;
            if (! options.preset)
            {
                juce::StringArray names;
                for (const auto& p : TessaroPresets::table())
                    names.add (p.name);
                return fail ("--preset: unknown preset '" + value + "' (one of: " + names.joinIntoString (", ") + ")");
            }
        }
        // clang-format off
        else if (name == "--microphone")   ok = choice (options.microphone, { { "A", "0" }, { "B", "1" }, { "C", "2" } }, "A, B, C, 0, 1, 2");
        else if (name == "--wind-cover")   ok = choice (options.windCover, { { "none", "0" }, { "windjammer", "1" }, { "hwc", "2" } }, "none, windjammer, hwc, 0, 1, 2");
        else if (name == "--low-cut")      ok = choice (options.lowCut, { { "off" }, { "on" } }, "on, off");
        else if (name == "--distance")     ok = percent (options.distance);
        else if (name == "--aim")          ok = percent (options.aim);
        else if (name == "--free-field")   ok = percent (options.freeField);
        else if (name == "--settings")      options.settingsPath = value;
        else if (name == "--save-settings") options.saveSettingsPath = value;
        else if (name == "--response")      options.responsePath = value;
        else if (name == "--plot")          options.plotPath = value;
        else if (name == "--spectrum")      options.spectrumPath = value;
        // clang-format on
        else if (name == "--sample-rate")
        {
            const auto number = parseNumber (value);
            if (! number || *number < 1000.0 || *number > 768000.0)
                return fail ("--sample-rate: '" + value + "' is not a sample rate from 1000 to 768000 Hz");
            options.sampleRate = *number;
        }
        else if (name == "--block-size")
        {
            const auto number = parseNumber (value);
            if (! number || *number < 1.0 || *number > 65536.0 || *number != std::floor (*number))
                return fail ("--block-size: '" + value + "' is not a whole number from 1 to 65536");
            options.blockSize = (int) *number;
        }
        else if (name == "--output-dir")
        {
            if (value.isEmpty())
                return fail ("--output-dir needs a folder name");
            options.outputDir = value;
        }
        else if (name == "--suffix")
        {
            if (value.containsChar ('/') || value.containsChar ('\0'))
                return fail ("--suffix: '" + value + "' must not contain '/'");
            options.suffix = value;
        }
        else if (name == "-j" || name == "--jobs")
        {
            const auto number = parseNumber (value);
            if (! number || *number < 1.0 || *number > 1024.0 || *number != std::floor (*number))
                return fail (name + ": '" + value + "' is not a whole number from 1 to 1024");
            options.jobs = (int) *number;
        }
        else
        {
            return fail ("unknown option '" + name + "' (see --help)");
        }

        if (! ok)
            return fail (result.error);

        // What shapes the processor is given to each file of a batch as typed.
        static const juce::StringArray settingsOptions { "--preset", "--microphone", "--wind-cover", "--low-cut", "--distance",
                                                         "--aim", "--free-field", "--settings", "--block-size" };
        if (settingsOptions.contains (name))
            options.settingsArguments.add (name + "=" + value);
        if (name == "--suffix" || name == "--jobs" || name == "-j")
            batchOnlyOption = name;

        if (value.isEmpty() && (name == "--settings" || name == "--save-settings" || name == "--response" || name == "--plot" || name == "--spectrum"))
            return fail (name + " needs a file name");
    }

    if (options.isBatch())
    {
        if (const auto error = checkBatch (options, positional); error.isNotEmpty())
            return fail (error);
        result.options = options;
        return result;
    }

    if (batchOnlyOption.isNotEmpty())
        return fail (batchOnlyOption + " applies only to a batch (--output-dir DIR)");

    if (positional.size() == 1)
        return fail ("an INPUT needs an OUTPUT (see --help)");
    if (positional.size() > 2)
        return fail ("unexpected argument '" + positional[2] + "' (several inputs need --output-dir DIR; see --help)");

    if (positional.size() == 2)
    {
        if (positional[0].isEmpty())
            return fail ("INPUT is an empty name (see --help)");
        if (positional[1].isEmpty())
            return fail ("OUTPUT is an empty name (see --help)");

        options.inputPath = positional[0];
        options.outputPath = positional[1];

        if (options.sampleRate)
            return fail ("--sample-rate applies only without INPUT: the file's own rate is used");
    }

    if (! options.hasAudio() && ! options.listPresets && options.saveSettingsPath.isEmpty()
        && options.responsePath.isEmpty() && options.plotPath.isEmpty())
        return fail ("nothing to do: give INPUT and OUTPUT, or --save-settings, --response, --plot or --list-presets (see --help)");

    if (options.plotPath.isNotEmpty() && ! options.plotPath.endsWithIgnoreCase (".png"))
        return fail ("--plot: '" + options.plotPath + "' must end in .png");

    if (options.spectrumPath.isNotEmpty() && ! options.spectrumPath.endsWithIgnoreCase (".png"))
        return fail ("--spectrum: '" + options.spectrumPath + "' must end in .png");

    if (options.spectrumPath.isNotEmpty() && ! options.hasAudio())
        return fail ("--spectrum needs INPUT and OUTPUT: it shows the audio before and after");

    result.options = options;
    return result;
}
