#include "render/BatchRunner.h"
#include "render/SafeFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <poll.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace
{
    constexpr const char* prefix = "tessaroeq-render: ";

    // A child's stderr is kept only to report why it failed; a child that
    // talks endlessly must not make the batch's memory grow.
    constexpr size_t maxChildOutput = 16384;

    // The batch's own signal handling: the handler passes the number down a
    // pipe that the main loop polls with the children's output.
    int signalPipe[2] { -1, -1 };

    extern "C" void onBatchSignal (int signo)
    {
        const auto savedErrno = errno;
        const auto byte = (unsigned char) signo;
        (void) ! write (signalPipe[1], &byte, 1);
        errno = savedErrno;
    }

    void installSignalHandlers()
    {
        sigset_t all;
        sigfillset (&all);
        sigprocmask (SIG_UNBLOCK, &all, nullptr);

        if (pipe2 (signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;

        SafeFiles::catchTerminatingSignals (onBatchSignal);
    }

    int pendingSignal()
    {
        unsigned char byte = 0;
        return read (signalPipe[0], &byte, 1) == 1 ? byte : 0;
    }

    std::string signalName (int signo)
    {
        if (const auto* abbreviation = sigabbrev_np (signo))
            return std::string ("SIG") + abbreviation;
        return "signal " + std::to_string (signo);
    }

    double now()
    {
        return juce::Time::getMillisecondCounterHiRes() / 1000.0;
    }

    int coresAvailable()
    {
        cpu_set_t set;
        if (sched_getaffinity (0, sizeof (set), &set) == 0)
            return std::max (1, CPU_COUNT (&set));
        return std::max (1, (int) sysconf (_SC_NPROCESSORS_ONLN));
    }

    std::string shown (const std::string& path)
    {
        return SafeFiles::printable (juce::String::fromUTF8 (path.c_str())).toStdString();
    }

    std::string duration (double seconds)
    {
        const auto s = (long) std::lround (seconds);
        char text[64];
        if (s < 60)
            std::snprintf (text, sizeof (text), "%ld s", s);
        else if (s < 3600)
            std::snprintf (text, sizeof (text), "%ld min %02ld s", s / 60, s % 60);
        else
            std::snprintf (text, sizeof (text), "%ld h %02ld min", s / 3600, s / 60 % 60);
        return text;
    }

    std::string audioLength (double seconds)
    {
        // Takes of a few minutes add up to archives of thousands of hours.
        char text[32];
        if (seconds < 3600.0)
            std::snprintf (text, sizeof (text), "%.1f min", seconds / 60.0);
        else
            std::snprintf (text, sizeof (text), "%.2f h", seconds / 3600.0);
        return text;
    }

    /** "take.wav" with suffix "-eq" is "take-eq.wav". */
    std::string withSuffix (const fs::path& name, const std::string& suffix)
    {
        if (suffix.empty())
            return name.string();
        return (name.stem().string() + suffix + name.extension().string());
    }

    /** True when path lies in folder or is folder (both absolute and normal). */
    bool isWithin (const fs::path& path, const fs::path& folder)
    {
        auto p = path.begin();
        for (auto f = folder.begin(); f != folder.end(); ++f, ++p)
        {
            if (f->empty())   // a trailing separator
                continue;
            if (p == path.end() || *p != *f)
                return false;
        }
        return true;
    }

    /** The absolute, normal form of a path that may not exist yet: the part
        that exists with its links resolved, the rest as written. */
    fs::path placeOf (const std::string& path)
    {
        std::error_code error;
        auto result = fs::weakly_canonical (fs::absolute (path, error), error);
        return error ? fs::absolute (path).lexically_normal() : result;
    }
}

struct BatchRunner::Child
{
    pid_t pid = -1;
    int fd = -1;
    Item* item = nullptr;
    std::string output;
};

BatchRunner::BatchRunner (RenderOptions optionsToRun) : options (std::move (optionsToRun)) {}

bool BatchRunner::hasAudioName (const std::string& fileName)
{
    static const char* const extensions[] { ".wav", ".bwf", ".aif", ".aiff", ".flac", ".ogg" };
    const auto name = juce::String (fileName.c_str());
    for (auto* extension : extensions)
        if (name.endsWithIgnoreCase (extension) && name.length() > (int) std::strlen (extension))
            return true;
    return false;
}

int BatchRunner::usageError (const juce::String& message)
{
    std::fprintf (stderr, "%serror: %s\n", prefix, SafeFiles::printable (message).toRawUTF8());
    return RenderOptions::usageError;
}

void BatchRunner::print (const std::string& line)
{
    // Clear the progress line first, so that a message never runs into it;
    // it is drawn again on the next update.
    if (progressShown)
        std::fputs ("\r\x1b[K", stderr);
    std::fputs ((line + "\n").c_str(), stderr);
    std::fflush (stderr);
    progressShown = false;
}

int BatchRunner::run()
{
    installSignalHandlers();
    startTime = now();

    if (! plan())
        return RenderOptions::usageError;

    jobs = options.jobs.value_or (coresAvailable());
    showProgress = ! options.quiet && isatty (STDERR_FILENO) != 0;

    for (const auto& note : notes)
        print (note);

    if (! options.quiet)
        for (const auto& [input, output] : skippedExisting)
            print (std::string (prefix) + "skipped '" + shown (input) + "': '" + shown (output)
                   + "' exists (--overwrite replaces it)");

    for (auto& item : items)
        measure (item);
    for (const auto& item : items)
        totalSeconds += item.seconds;

    std::vector<Child> running;
    size_t next = 0;
    int stoppedBy = 0;

    // On a signal no new render starts and each one running gets the same
    // signal: it removes its own partial file and ends; the batch waits.
    auto checkForSignal = [&] {
        if (stoppedBy == 0 && (stoppedBy = pendingSignal()) != 0)
            for (const auto& child : running)
                kill (child.pid, stoppedBy);
    };

    for (;;)
    {
        checkForSignal();

        while (stoppedBy == 0 && next < items.size() && (int) running.size() < jobs)
        {
            Child child;
            if (launch (items[next], child))
                running.push_back (child);
            else
                ++filesFailed;
            ++next;
        }

        if (running.empty())
            break;

        std::vector<pollfd> polled;
        polled.push_back ({ signalPipe[0], POLLIN, 0 });
        for (const auto& child : running)
            polled.push_back ({ child.fd, POLLIN, 0 });

        if (poll (polled.data(), polled.size(), showProgress ? 250 : -1) < 0 && errno != EINTR)
            break;

        checkForSignal();

        for (size_t i = 1; i < polled.size(); ++i)
        {
            if ((polled[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;

            auto& child = running[i - 1];
            char buffer[4096];
            const auto n = read (child.fd, buffer, sizeof (buffer));
            if (n > 0)
            {
                if (child.output.size() < maxChildOutput)
                    child.output.append (buffer, (size_t) n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;

            // End of its output: the child has ended (or is about to).
            close (child.fd);
            child.fd = -1;
            int status = 0;
            while (waitpid (child.pid, &status, 0) < 0 && errno == EINTR)
            {}
            finished (child, status);
        }

        running.erase (std::remove_if (running.begin(), running.end(), [] (const Child& c) { return c.fd < 0; }),
                       running.end());
        drawProgress (false);
    }

    removeFoldersMadeIfEmpty();

    if (stoppedBy != 0)
    {
        print (std::string (prefix) + "error: interrupted by " + signalName (stoppedBy) + " after " + std::to_string (filesDone)
               + " of " + std::to_string (items.size()) + " files; the files in flight were left as they were");
        _exit (128 + stoppedBy);
    }

    for (const auto& item : items)
        if (! item.failure.empty())
            print (std::string (prefix) + "error: " + shown (item.input) + ": " + item.failure);

    const auto filesInBatch = items.size() + skippedExisting.size();
    auto summary = std::string (prefix) + "rendered " + std::to_string (filesDone) + " of " + std::to_string (filesInBatch)
        + (filesInBatch == 1 ? " file" : " files") + " (" + audioLength (secondsDone) + " of audio) in "
        + duration (now() - startTime);
    if (! skippedExisting.empty())
        summary += "; " + std::to_string (skippedExisting.size()) + " skipped (result exists)";
    if (filesFailed > 0)
        summary += "; " + std::to_string (filesFailed) + " failed";
    print (summary);

    return filesFailed > 0 ? 1 : 0;
}

bool BatchRunner::plan()
{
    // Every input, by identity, so that no result can land on one; the
    // settings file is read by every render, so it is one too.
    std::set<std::pair<dev_t, ino_t>> inputIdentities;
    auto identify = [&] (const std::string& path) {
        struct stat info = {};
        if (stat (path.c_str(), &info) == 0)
            inputIdentities.insert ({ info.st_dev, info.st_ino });
    };
    if (options.settingsPath.isNotEmpty())
        identify (options.settingsPath.toStdString());

    const auto outputDir = placeOf (options.outputDir.toStdString());
    {
        struct stat info = {};
        if (stat (outputDir.c_str(), &info) == 0 && ! S_ISDIR (info.st_mode))
            return usageError ("--output-dir '" + options.outputDir + "' is not a folder") == 0;
    }

    for (const auto& argument : options.inputs)
    {
        const auto path = argument.toStdString();
        struct stat info = {};
        if (stat (path.c_str(), &info) == 0 && S_ISDIR (info.st_mode))
        {
            if (! options.recursive)
                return usageError ("INPUT '" + argument + "' is a folder; add --recursive to render the audio files in it") == 0;

            const auto folder = placeOf (path);
            if (isWithin (outputDir, folder))
                return usageError ("--output-dir '" + options.outputDir + "' is inside INPUT folder '" + argument
                                   + "'; results would be mixed with the recordings")
                    == 0;

            if (! addFolder (path))
                return false;
        }
        else
        {
            // A file that is missing or unreadable still gets its render,
            // which says what is wrong with it as a failure of that file.
            Item item;
            item.input = path;
            item.output = fs::path (withSuffix (fs::path (path).filename(), options.suffix.toStdString())).string();
            items.push_back (item);
        }
    }

    for (const auto& item : items)
        identify (item.input);

    // Results are named DIR/<relative path>: two inputs with one result
    // would have the second silently replace the first.
    std::map<std::string, const Item*> byOutput;
    std::vector<Item> planned;
    for (auto& item : items)
    {
        item.output = (fs::path (options.outputDir.toStdString()) / item.output).lexically_normal().string();
        const auto place = placeOf (item.output).string();

        if (const auto other = byOutput.find (place); other != byOutput.end())
            return usageError ("'" + juce::String (other->second->input) + "' and '" + juce::String (item.input)
                               + "' would both be written to '" + juce::String (item.output) + "'")
                == 0;
        byOutput[place] = &item;

        struct stat info = {};
        if (stat (item.output.c_str(), &info) == 0)
        {
            if (inputIdentities.count ({ info.st_dev, info.st_ino }) != 0)
                return usageError ("the result for '" + juce::String (item.input) + "' would be written over an input, '"
                                   + juce::String (item.output) + "'; choose another --output-dir or a --suffix")
                    == 0;

            // Only a finished result is skipped; anything else in its place
            // goes to the render, which refuses it with the reason.
            if (S_ISREG (info.st_mode) && ! options.overwrite)
            {
                skippedExisting.push_back ({ item.input, item.output });
                item.skip = true;
            }
        }
    }

    for (auto& item : items)
        if (! item.skip)
            planned.push_back (item);
    items = std::move (planned);
    return true;
}

bool BatchRunner::addFolder (const std::string& argument)
{
    // Results keep the folder's own name as their first folder, so that two
    // folders holding the same names ("day1/", "day2/") stay apart.
    std::error_code error;
    auto root = fs::canonical (argument, error);
    const auto folderName = error ? fs::path (argument).lexically_normal().filename() : root.filename();

    int skipped = 0;
    std::set<std::string> skippedKinds;
    std::vector<Item> found;

    // Links to folders are not followed: a link back up would never end.
    fs::recursive_directory_iterator walk (argument, fs::directory_options::none, error);
    if (error)
        return usageError ("cannot read folder '" + juce::String (argument) + "': " + juce::String (error.message())) == 0;

    for (; walk != fs::recursive_directory_iterator(); walk.increment (error))
    {
        if (error)
            return usageError ("cannot read folder '" + juce::String (argument) + "': " + juce::String (error.message())) == 0;

        const auto& entry = *walk;
        const auto name = entry.path().filename().string();

        std::error_code typeError;
        if (entry.is_directory (typeError))
        {
            // Hidden folders hold what other programs keep for themselves.
            if (name.front() == '.' && ! entry.is_symlink (typeError))
                walk.disable_recursion_pending();
            continue;
        }

        // Our own unfinished files are no recordings, and need no note.
        if (name.find (SafeFiles::AtomicFile::partialMarker) != std::string::npos)
            continue;

        // Hidden files such as "._take.wav" are resource forks a Mac
        // leaves on recorder cards: named as audio, holding none.
        if (name.front() == '.' || ! hasAudioName (name) || ! entry.is_regular_file (typeError))
        {
            ++skipped;
            skippedKinds.insert (name.front() == '.'                ? std::string ("hidden")
                                     : hasAudioName (name)          ? std::string ("not a regular file")
                                     : entry.path().has_extension() ? entry.path().extension().string()
                                                                    : std::string ("no extension"));
            continue;
        }

        Item item;
        item.input = entry.path().string();
        const auto relative = entry.path().lexically_relative (argument);
        item.output = (folderName / relative.parent_path() / withSuffix (relative.filename(), options.suffix.toStdString())).string();
        found.push_back (item);
    }

    std::sort (found.begin(), found.end(), [] (const Item& a, const Item& b) { return a.input < b.input; });
    items.insert (items.end(), found.begin(), found.end());

    if (skipped > 0 && ! options.quiet)
    {
        std::string kinds;
        for (const auto& kind : skippedKinds)
            kinds += (kinds.empty() ? "" : ", ") + kind;
        notes.push_back (std::string (prefix) + "skipped " + std::to_string (skipped) + (skipped == 1 ? " file" : " files") + " in '"
                         + shown (argument) + "' that " + (skipped == 1 ? "is" : "are") + " not audio by name (" + shown (kinds) + ")");
    }
    return true;
}

void BatchRunner::measure (Item& item)
{
    // Only the header is read, for the progress line and the summary; a
    // file that cannot be read here is left for its render to report.
    juce::String whyNot;
    juce::int64 size = 0;
    const auto fd = SafeFiles::openRegularFile (juce::String (item.input), -1, whyNot, &size);
    if (fd < 0)
        return;

    if (formats.getNumKnownFormats() == 0)
        formats.registerBasicFormats();

    std::unique_ptr<juce::AudioFormatReader> reader (
        formats.createReaderFor (std::make_unique<SafeFiles::InputStream> (fd, size)));
    if (reader != nullptr && reader->sampleRate > 0.0)
        item.seconds = (double) reader->lengthInSamples / reader->sampleRate;
}

bool BatchRunner::makeFoldersFor (const std::string& output, std::string& error)
{
    std::vector<std::string> missing;
    for (auto folder = fs::path (output).parent_path(); ! folder.empty(); folder = folder.parent_path())
    {
        struct stat info = {};
        if (stat (folder.c_str(), &info) == 0)
            break;
        missing.push_back (folder.string());
        if (folder == folder.parent_path())
            break;
    }

    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    {
        if (mkdir (it->c_str(), 0777) != 0 && errno != EEXIST)
        {
            error = "cannot create folder '" + shown (*it) + "': " + std::strerror (errno);
            return false;
        }
        foldersMade.push_back (*it);
    }
    return true;
}

void BatchRunner::removeFoldersMadeIfEmpty()
{
    // A folder made for a result that never came would be a stray; rmdir
    // removes only empty ones, so nothing written is ever lost here.
    for (auto it = foldersMade.rbegin(); it != foldersMade.rend(); ++it)
        rmdir (it->c_str());
}

bool BatchRunner::launch (Item& item, Child& child)
{
    std::string error;
    if (! makeFoldersFor (item.output, error))
    {
        item.failure = error;
        return false;
    }

    int pipeFds[2];
    if (pipe2 (pipeFds, O_CLOEXEC) != 0)
    {
        item.failure = std::string ("cannot start its render: ") + std::strerror (errno);
        return false;
    }

    std::vector<std::string> arguments { "tessaroeq-render" };
    for (const auto& a : options.settingsArguments)
        arguments.push_back (a.toStdString());
    arguments.insert (arguments.end(), { "--", item.input, item.output });

    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back (a.data());
    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2 (&actions, pipeFds[1], STDERR_FILENO);

    // The child starts with no signal blocked; the ones ignored here stay
    // ignored across exec, the ones handled here go back to their default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);
    sigset_t none;
    sigemptyset (&none);
    posix_spawnattr_setsigmask (&attributes, &none);
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSIGMASK);

    // This very program, even if its file was replaced since it started.
    const auto result = posix_spawn (&child.pid, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy (&actions);
    posix_spawnattr_destroy (&attributes);
    close (pipeFds[1]);

    if (result != 0)
    {
        close (pipeFds[0]);
        item.failure = std::string ("cannot start its render: ") + std::strerror (result);
        return false;
    }

    child.fd = pipeFds[0];
    child.item = &item;
    return true;
}

void BatchRunner::finished (Child& child, int waitStatus)
{
    auto& item = *child.item;
    item.done = true;

    juce::StringArray lines;
    lines.addLines (juce::String::fromUTF8 (child.output.data(), (int) child.output.size()));
    lines.removeEmptyStrings();

    const auto errorPrefix = juce::String (prefix) + "error: ";

    if (WIFEXITED (waitStatus) && WEXITSTATUS (waitStatus) == 0)
    {
        ++filesDone;
        secondsDone += item.seconds;

        // Warnings and notes of a render (a cut file, a conversion) matter
        // in a batch too; "wrote" does not, the summary counts them.
        if (! options.quiet)
            for (const auto& line : lines)
                if (! line.startsWith (juce::String (prefix) + "wrote '"))
                    print (line.toStdString());
        return;
    }

    ++filesFailed;
    for (int i = lines.size(); --i >= 0;)
        if (lines[i].startsWith (errorPrefix))
        {
            item.failure = lines[i].substring (errorPrefix.length()).toStdString();
            break;
        }

    if (item.failure.empty())
        item.failure = WIFSIGNALED (waitStatus) ? "its render ended by " + signalName (WTERMSIG (waitStatus))
                                                : "its render failed with status " + std::to_string (WEXITSTATUS (waitStatus));
}

void BatchRunner::drawProgress (bool force)
{
    if (! showProgress)
        return;

    const auto t = now();
    if (! force && t - lastDraw < 0.25)
        return;
    lastDraw = t;

    const auto elapsed = t - startTime;
    const auto speed = elapsed > 0.0 ? secondsDone / elapsed : 0.0;
    std::string line = "\r" + std::to_string (filesDone + filesFailed) + "/" + std::to_string (items.size()) + " files, "
        + audioLength (secondsDone) + " of " + audioLength (totalSeconds) + " audio";
    if (speed > 0.0)
    {
        char text[64];
        std::snprintf (text, sizeof (text), ", %.0fx real time, %s left", speed,
                       duration ((totalSeconds - secondsDone) / speed).c_str());
        line += text;
    }
    std::fputs ((line + "\x1b[K").c_str(), stderr);
    std::fflush (stderr);
    progressShown = true;
}
