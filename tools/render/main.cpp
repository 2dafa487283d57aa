// tessaroeq-render: runs the TessaroEQ processor over audio files offline.

#include "render/BatchRunner.h"
#include "render/RenderJob.h"
#include "render/RenderOptions.h"
#include "render/SafeFiles.h"

#include <juce_events/juce_events.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{
    // A signal handler may do almost nothing safely, so it only passes the
    // signal's number down a pipe; a thread of its own then removes the
    // partial files, says what happened and ends the process. This works
    // whichever thread the signal lands on, including a SIGPIPE raised by
    // a write to a closed stderr.
    int wakePipe[2] { -1, -1 };

    extern "C" void onTerminatingSignal (int signo)
    {
        const auto savedErrno = errno;
        const auto byte = (unsigned char) signo;
        (void) ! write (wakePipe[1], &byte, 1);
        errno = savedErrno;
    }

    void writeAll (const std::string& text)
    {
        for (size_t done = 0; done < text.size();)
        {
            const auto n = write (STDERR_FILENO, text.data() + done, text.size() - done);
            if (n <= 0 && errno != EINTR)
                return;
            done += n > 0 ? (size_t) n : 0;
        }
    }

    std::string signalName (int signo)
    {
        if (const auto* abbreviation = sigabbrev_np (signo))
            return std::string ("SIG") + abbreviation;
        return "signal " + std::to_string (signo);
    }

    [[noreturn]] void watchForSignals()
    {
        unsigned char byte = 0;
        while (read (wakePipe[0], &byte, 1) != 1)
            if (errno != EINTR)
                pause();

        const int signo = byte;
        const auto target = SafeFiles::removeAllPartialsForExit();
        auto line = "tessaroeq-render: error: interrupted by " + signalName (signo);
        if (! target.empty())
            line += "; '" + SafeFiles::printable (target).toStdString() + "' was left as it was";
        writeAll (line + "\n");
        _exit (128 + signo);
    }

    // After a fault the process cannot be trusted to run a thread or take a
    // lock: the partial files are removed from the handler itself.
    extern "C" void onFault (int signo)
    {
        SafeFiles::removeAllPartialsFromSignalHandler();
        static const char message[] = "tessaroeq-render: error: internal fault (signal ";
        (void) ! write (STDERR_FILENO, message, sizeof (message) - 1);
        char digits[4] { char ('0' + signo / 10 % 10), char ('0' + signo % 10), ')', '\n' };
        (void) ! write (STDERR_FILENO, digits, sizeof (digits));
        _exit (128 + signo);
    }

    void installSignalHandlers()
    {
        // Let every thread take the signals (some environments start
        // programs with signals blocked); threads made later inherit this.
        sigset_t all;
        sigfillset (&all);
        pthread_sigmask (SIG_UNBLOCK, &all, nullptr);

        if (pipe2 (wakePipe, O_CLOEXEC) != 0)
            return;
        fcntl (wakePipe[1], F_SETFL, O_NONBLOCK);
        std::thread (watchForSignals).detach();

        SafeFiles::catchTerminatingSignals (onTerminatingSignal);

        static char alternateStack[1 << 16];
        stack_t stack {};
        stack.ss_sp = alternateStack;
        stack.ss_size = sizeof (alternateStack);
        sigaltstack (&stack, nullptr);

        for (const auto signo : { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS })
        {
            struct sigaction action = {};
            action.sa_handler = onFault;
            action.sa_flags = (int) (SA_ONSTACK | SA_RESETHAND);
            sigfillset (&action.sa_mask);
            sigaction (signo, &action, nullptr);
        }
    }
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
        std::fprintf (stderr, "tessaroeq-render: error: %s\n", SafeFiles::printable (parsed.error).toRawUTF8());
        return RenderOptions::usageError;
    }

    // A batch runs this program once per file and handles its own signals:
    // each render cleans up after itself, the batch waits for them.
    if (parsed.options->isBatch())
        return BatchRunner (std::move (*parsed.options)).run();

    installSignalHandlers();

    // Fonts for the plot and the processor's change notifications need the
    // framework's message manager; no window is opened.
    juce::ScopedJuceInitialiser_GUI juce;
    return RenderJob (std::move (*parsed.options)).run();
}
