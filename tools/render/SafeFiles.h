#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <string>
#include <vector>

/** The file handling of tessaroeq-render, written so that a run can never
    cost the user a recording: inputs are opened without blocking and only
    when they are regular files, outputs are written to a visible partial
    file beside their destination, synced, and renamed into place. Nothing
    here throws or prints; failures come back as one-line messages. */
namespace SafeFiles
{
    /** Text safe to show on a terminal: control characters (which an
        argument can carry) are shown as \xNN instead of being sent raw. */
    juce::String printable (const juce::String& text);

    /** Where writing to this argument really lands: symbolic links are
        followed to the file they name (which may not exist yet), and the
        folder is made canonical, so that two spellings of one place compare
        equal. */
    std::string resolveTarget (const juce::String& argument);

    /** True when both paths (resolved as above) name one file: the same
        path, or, when both exist, the same file through hard links or mounts. */
    bool sameFile (const std::string& a, const std::string& b);

    /** Opens an existing regular file for reading without ever waiting on a
        FIFO or device. Returns the descriptor, or -1 with a message that
        follows "'<argument>' ..." (e.g. "is a folder"). A file larger than
        maxSize (when not negative) is refused. */
    int openRegularFile (const juce::String& argument, juce::int64 maxSize, juce::String& whyNot, juce::int64* size = nullptr);

    /** A stream over a descriptor opened by openRegularFile. It remembers
        the offset at which the file ran out and whether the disk failed, so
        that a reader cannot quietly turn a cut or lying file into silence. */
    class InputStream final : public juce::InputStream
    {
    public:
        explicit InputStream (int fd, juce::int64 length);
        ~InputStream() override;

        juce::int64 getTotalLength() override { return length; }
        bool isExhausted() override { return position >= length; }
        int read (void* destBuffer, int maxBytesToRead) override;
        juce::int64 getPosition() override { return position; }
        bool setPosition (juce::int64 newPosition) override;

        /** The offset given by the last setPosition(). */
        juce::int64 lastSeek() const noexcept { return lastSeekPosition; }
        /** Offset where a read first came up short (the real end of the
            data), or -1 while every read got all it asked for. */
        juce::int64 endReachedAt() const noexcept { return shortReadAt.load(); }
        bool failed() const noexcept { return ioError.load(); }
        /** Forgets a short read seen so far (while probing the file). */
        void rearm() noexcept { shortReadAt = -1; }

    private:
        static constexpr int readAheadBytes = 1 << 19;

        /** Up to `size` bytes from `offset`; `failed` when a read failed
            (rather than met the end of the file). */
        int readAt (char* dest, int size, juce::int64 offset, bool& failed);

        int fd;
        juce::int64 length, position = 0, lastSeekPosition = 0;
        std::atomic<juce::int64> shortReadAt { -1 };
        std::atomic<bool> ioError { false };

        std::vector<char> buffer;   // the file from bufferStart on
        juce::int64 bufferStart = 0;
        int bufferFill = 0;
    };

    /** A new file written beside its destination under the visible name
        "<destination>.tessaroeq-partial-<pid>" and moved into place by
        commit(). Until then the destination is untouched; destroying an
        uncommitted file removes it. While one exists, its name is known to
        removeAllPartials(), so a signal never leaves it behind. */
    class AtomicFile
    {
    public:
        AtomicFile() = default;
        ~AtomicFile();

        /** Creates the partial file for this destination argument (resolved
            with resolveTarget). Partial files of the same destination whose
            process no longer exists are removed first. */
        bool open (const juce::String& argument, juce::String& error);

        /** Writes the data, then syncs and moves it into place. */
        bool writeAll (const void* data, size_t size, juce::String& error);

        /** Syncs the file, gives it the permission bits and owner of the
            file it replaces, renames it over the destination and syncs the
            folder. */
        bool commit (juce::String& error);

        int descriptor() const noexcept { return fd; }
        int stalePartialsRemoved() const noexcept { return staleRemoved; }

        static constexpr const char* partialMarker = ".tessaroeq-partial-";

    private:
        void discard();

        int fd = -1;
        std::string target, partial;
        int staleRemoved = 0;
        bool committed = false;

        JUCE_DECLARE_NON_COPYABLE (AtomicFile)
    };

    /** An output stream over an AtomicFile's descriptor (which it does not
        own): buffered, seekable (encoders rewrite their headers), and it
        remembers any failed write, including those made from destructors. */
    class OutputStream final : public juce::OutputStream
    {
    public:
        explicit OutputStream (int fd);
        ~OutputStream() override;

        void flush() override;
        bool setPosition (juce::int64 newPosition) override;
        juce::int64 getPosition() override { return position; }
        bool write (const void* data, size_t numBytes) override;

        /** Shared with the job so that failures after the stream is gone
            (the writer deletes it) are still seen. */
        std::shared_ptr<std::atomic<bool>> failure = std::make_shared<std::atomic<bool>> (false);

    private:
        bool drain();
        bool writeAt (const char* data, size_t size, juce::int64 offset);
        void startWriteback (juce::int64 writtenTo);

        int fd;
        juce::int64 position = 0;        // logical position, buffer included
        juce::int64 bufferStart = 0;     // file offset of buffer[0]
        juce::int64 writebackFrom = 0;   // start of the written bytes not yet sent to the disk
        std::vector<char> buffer;
    };

    /** Removes every partial file this process has open. Takes a lock that
        it never gives back, so no partial file is created or renamed after
        it: call it only on the way to _exit(). Returns the destination of
        the last partial file removed, or an empty string. */
    std::string removeAllPartialsForExit();

    /** The same from a signal handler, after a crash: async-signal-safe,
        no lock. */
    void removeAllPartialsFromSignalHandler() noexcept;

    /** Sends every signal whose default action ends the process and that can
        be caught to the handler (with every signal blocked while it runs).
        One ignored by whoever started the process (nohup, a background job)
        stays ignored, here and, as exec keeps it, in every child. */
    void catchTerminatingSignals (void (*handler) (int)) noexcept;
}
