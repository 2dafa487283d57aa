#include "render/SafeFiles.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    // The partial files this process has open, in fixed storage so that a
    // crash handler can remove them without allocating or locking. Writes are
    // one after another; a few slots leave room for overlap.
    struct Slot
    {
        std::atomic<bool> used { false };
        char partial[PATH_MAX + 64] {};
        char target[PATH_MAX + 1] {};
    };

    Slot slots[4];

    // Held while a partial file is created, renamed or removed, so that the
    // exit path sees either no file or a registered one, never one in between.
    std::mutex& registryLock()
    {
        static std::mutex lock;
        return lock;
    }

    bool registerPartial (const std::string& partial, const std::string& target)
    {
        if (partial.size() >= sizeof (Slot::partial) || target.size() >= sizeof (Slot::target))
            return false;

        for (auto& slot : slots)
        {
            if (slot.used.load())
                continue;
            std::memcpy (slot.partial, partial.c_str(), partial.size() + 1);
            std::memcpy (slot.target, target.c_str(), target.size() + 1);
            slot.used.store (true);
            return true;
        }
        return false;
    }

    void unregisterPartial (const std::string& partial)
    {
        for (auto& slot : slots)
            if (slot.used.load() && partial == slot.partial)
                slot.used.store (false);
    }

    std::string errorText (int error) { return std::strerror (error); }

    std::string folderOf (const std::string& path)
    {
        const auto slash = path.rfind ('/');
        return slash == std::string::npos ? std::string (".") : (slash == 0 ? std::string ("/") : path.substr (0, slash));
    }

    std::string nameOf (const std::string& path)
    {
        const auto slash = path.rfind ('/');
        return slash == std::string::npos ? path : path.substr (slash + 1);
    }

    /** Removes "<name>.tessaroeq-partial-<pid>" files in the folder whose
        process is gone: what a run stopped by SIGKILL or a power cut left. */
    int removeStalePartials (const std::string& folder, const std::string& name)
    {
        const auto prefix = name + SafeFiles::AtomicFile::partialMarker;
        auto* dir = opendir (folder.c_str());
        if (dir == nullptr)
            return 0;

        int removed = 0;
        while (auto* entry = readdir (dir))
        {
            const std::string entryName (entry->d_name);
            if (entryName.compare (0, prefix.size(), prefix) != 0 || entryName.size() == prefix.size() || entryName.size() > prefix.size() + 10)
                continue;

            const auto digits = entryName.substr (prefix.size());
            if (digits.find_first_not_of ("0123456789") != std::string::npos)
                continue;

            const auto pid = (pid_t) std::stol (digits);
            if (pid <= 0 || pid == getpid())
                continue;

            // A live process (or one we may not signal) keeps its file.
            if (kill (pid, 0) == -1 && errno == ESRCH && unlink ((folder + "/" + entryName).c_str()) == 0)
                ++removed;
        }
        closedir (dir);
        return removed;
    }
}

namespace SafeFiles
{
    juce::String printable (const juce::String& text)
    {
        juce::String result;
        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        {
            const auto c = *p;
            if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0))
                result << "\\x" << juce::String::toHexString ((int) c).paddedLeft ('0', 2);
            else
                result << juce::String::charToString (c);
        }
        return result;
    }

    std::string resolveTarget (const juce::String& argument)
    {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::path path = fs::absolute (fs::path (argument.toStdString()), error);

        // Follow a chain of links to the file at its end (bounded, as the system does).
        for (int hops = 0; hops < 40; ++hops)
        {
            struct stat info = {};
            if (lstat (path.c_str(), &info) != 0 || ! S_ISLNK (info.st_mode))
                break;
            const auto next = fs::read_symlink (path, error);
            if (error)
                break;
            path = next.is_absolute() ? next : path.parent_path() / next;
        }

        const auto folder = fs::weakly_canonical (path.parent_path(), error);
        return ((error ? path.parent_path() : folder) / path.filename()).string();
    }

    bool sameFile (const std::string& a, const std::string& b)
    {
        if (a == b)
            return true;

        struct stat first = {}, second = {};
        return stat (a.c_str(), &first) == 0 && stat (b.c_str(), &second) == 0
            && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }

    int openRegularFile (const juce::String& argument, juce::int64 maxSize, juce::String& whyNot, juce::int64* size)
    {
        // O_NONBLOCK: opening a FIFO with no writer would otherwise wait forever.
        const auto fd = open (argument.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
        {
            whyNot = errno == ENOENT ? "does not exist" : juce::String ("cannot be read: ") + errorText (errno);
            return -1;
        }

        struct stat info = {};
        if (fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode))
        {
            whyNot = S_ISDIR (info.st_mode) ? "is a folder" : "is not a regular file (a FIFO, device or socket)";
            close (fd);
            return -1;
        }

        if (maxSize >= 0 && info.st_size > maxSize)
        {
            whyNot = "is too large (" + juce::String ((juce::int64) info.st_size) + " bytes; at most " + juce::String (maxSize) + ")";
            close (fd);
            return -1;
        }

        fcntl (fd, F_SETFL, fcntl (fd, F_GETFL) & ~O_NONBLOCK);
        if (size != nullptr)
            *size = info.st_size;
        return fd;
    }

    //==============================================================================
    InputStream::InputStream (int fileDescriptor, juce::int64 totalLength)
        : fd (fileDescriptor), length (totalLength), buffer (readAheadBytes)
    {
    }

    InputStream::~InputStream() { close (fd); }

    int InputStream::readAt (char* dest, int size, juce::int64 offset, bool& failed)
    {
        int total = 0;
        failed = false;
        while (total < size)
        {
            const auto n = pread (fd, dest + total, (size_t) (size - total), offset + total);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failed = true;
            if (n <= 0)
                break;
            total += (int) n;
        }
        return total;
    }

    int InputStream::read (void* destBuffer, int maxBytesToRead)
    {
        // Decoders ask for a few kilobytes at a time; a system call for each
        // would cost more than the decoding. So reads come from a buffer that is
        // refilled a large stretch at a time, and large requests go straight to
        // the file. A disk error counts only where the bytes were asked for: a
        // stretch read ahead ends before the bad spot, and the next refill
        // starts there.
        auto* dest = static_cast<char*> (destBuffer);
        int total = 0;

        while (total < maxBytesToRead)
        {
            const auto at = position + total;
            const auto wanted = maxBytesToRead - total;

            if (at >= bufferStart && at < bufferStart + bufferFill)
            {
                const auto n = (int) juce::jmin ((juce::int64) wanted, bufferStart + bufferFill - at);
                std::memcpy (dest + total, buffer.data() + (at - bufferStart), (size_t) n);
                total += n;
                continue;
            }

            bool failed = false;

            if (wanted < readAheadBytes)
            {
                bufferStart = at;
                bufferFill = readAt (buffer.data(), readAheadBytes, at, failed);
                if (bufferFill > 0)
                    continue;
                if (! failed)
                    break;   // the end of the file
                // The stretch failed as a whole: read just the bytes asked for.
            }

            const auto n = readAt (dest + total, wanted, at, failed);
            total += n;
            if (failed)
                ioError = true;
            if (n < wanted)
                break;
        }

        position += total;

        juce::int64 none = -1;
        if (total < maxBytesToRead)
            shortReadAt.compare_exchange_strong (none, position);

        return total;
    }

    bool InputStream::setPosition (juce::int64 newPosition)
    {
        position = lastSeekPosition = juce::jmax ((juce::int64) 0, newPosition);
        return true;
    }

    //==============================================================================
    AtomicFile::~AtomicFile()
    {
        if (! committed)
            discard();
    }

    bool AtomicFile::open (const juce::String& argument, juce::String& error)
    {
        target = resolveTarget (argument);
        partial = target + partialMarker + std::to_string (getpid());

        staleRemoved = removeStalePartials (folderOf (target), nameOf (target));

        const std::lock_guard<std::mutex> lock (registryLock());

        for (int attempt = 0; attempt < 2 && fd < 0; ++attempt)
        {
            fd = ::open (partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            // The name holds our own process number: a file by that name is a
            // leftover of an earlier process that had the same number.
            if (fd < 0 && errno == EEXIST && attempt == 0)
                unlink (partial.c_str());
        }

        if (fd < 0)
        {
            error = "cannot create a file in '" + juce::String (folderOf (target)) + "': " + errorText (errno);
            return false;
        }

        if (! registerPartial (partial, target))
        {
            close (fd);
            fd = -1;
            unlink (partial.c_str());
            error = "the path '" + juce::String (target) + "' is too long";
            return false;
        }

        return true;
    }

    bool AtomicFile::writeAll (const void* data, size_t size, juce::String& error)
    {
        {
            OutputStream out (fd);
            out.write (data, size);
            out.flush();
            if (out.failure->load())
            {
                error = errorText (errno);
                return false;
            }
        }
        return commit (error);
    }

    bool AtomicFile::commit (juce::String& error)
    {
        if (fd < 0)
            return false;

        // A power cut after the rename must not leave an empty or partial file
        // under the destination's name: the data reaches the disk first.
        if (fsync (fd) != 0)
        {
            error = "cannot sync '" + juce::String (partial) + "': " + errorText (errno);
            return false;
        }

        // Replacing a file keeps its permission bits and, where the process may
        // set it, its owner and group (owner first: changing it clears set-id bits).
        struct stat existing = {};
        if (stat (target.c_str(), &existing) == 0 && S_ISREG (existing.st_mode))
        {
            if (fchown (fd, existing.st_uid, existing.st_gid) != 0)
                (void) ! fchown (fd, (uid_t) -1, existing.st_gid);
            fchmod (fd, existing.st_mode & 07777);
        }

        const auto closed = close (fd) == 0;
        fd = -1;
        if (! closed)
        {
            error = "cannot finish '" + juce::String (partial) + "': " + errorText (errno);
            return false;
        }

        {
            const std::lock_guard<std::mutex> lock (registryLock());
            if (rename (partial.c_str(), target.c_str()) != 0)
            {
                error = "cannot move the result into place: " + errorText (errno);
                return false;
            }
            unregisterPartial (partial);
            committed = true;
        }

        // The rename itself is only durable once the folder is synced.
        const auto dir = ::open (folderOf (target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0)
        {
            const auto synced = fsync (dir) == 0 || errno == EINVAL;
            const auto why = errno;
            close (dir);
            if (! synced)
            {
                error = "cannot sync the folder '" + juce::String (folderOf (target)) + "': " + errorText (why);
                return false;
            }
        }

        return true;
    }

    void AtomicFile::discard()
    {
        if (partial.empty())
            return;

        const std::lock_guard<std::mutex> lock (registryLock());
        if (fd >= 0)
            close (fd);
        fd = -1;
        unlink (partial.c_str());
        unregisterPartial (partial);
        partial.clear();
    }

    //==============================================================================
    OutputStream::OutputStream (int fileDescriptor) : fd (fileDescriptor)
    {
        buffer.reserve (1 << 18);
    }

    OutputStream::~OutputStream() { drain(); }

    bool OutputStream::writeAt (const char* data, size_t size, juce::int64 offset)
    {
        size_t done = 0;
        while (done < size)
        {
            const auto n = pwrite (fd, data + done, size - done, (off_t) (offset + (juce::int64) done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
            {
                failure->store (true);
                return false;
            }
            done += (size_t) n;
        }

        startWriteback (offset + (juce::int64) size);
        return true;
    }

    void OutputStream::startWriteback (juce::int64 writtenTo)
    {
        // The file is synced before it is renamed into place. Left to the
        // end, that sync waits for every byte of the file at once; handing
        // each finished stretch to the disk as it is written lets the device
        // work while the audio is still being processed, and the final sync
        // only waits for the last stretch. This only starts the writing: it
        // neither waits nor reports errors, which the final sync still does.
        constexpr juce::int64 stretch = 8 << 20;

        // A write further back (a header, at the end) is left to the sync.
        if (writtenTo - writebackFrom >= stretch)
        {
#if defined(__linux__)
            sync_file_range (fd, (off_t) writebackFrom, (off_t) (writtenTo - writebackFrom), SYNC_FILE_RANGE_WRITE);
#endif
            writebackFrom = writtenTo;
        }
    }

    bool OutputStream::drain()
    {
        if (! buffer.empty())
            writeAt (buffer.data(), buffer.size(), bufferStart);

        buffer.clear();
        bufferStart = position;
        return ! failure->load();
    }

    void OutputStream::flush() { drain(); }

    bool OutputStream::setPosition (juce::int64 newPosition)
    {
        drain();
        position = bufferStart = newPosition;
        return true;
    }

    bool OutputStream::write (const void* data, size_t numBytes)
    {
        if (failure->load())
            return false;

        if (buffer.size() + numBytes > buffer.capacity() && ! drain())
            return false;

        if (numBytes >= buffer.capacity())
        {
            const auto ok = writeAt (static_cast<const char*> (data), numBytes, position);
            position += (juce::int64) numBytes;
            bufferStart = position;
            return ok;
        }

        buffer.insert (buffer.end(), static_cast<const char*> (data), static_cast<const char*> (data) + numBytes);
        position += (juce::int64) numBytes;
        return true;
    }

    //==============================================================================
    std::string removeAllPartialsForExit()
    {
        registryLock().lock();   // never unlocked: the process is about to end

        std::string last;
        for (auto& slot : slots)
        {
            if (! slot.used.load())
                continue;
            unlink (slot.partial);
            last = slot.target;
            slot.used.store (false);
        }
        return last;
    }

    void removeAllPartialsFromSignalHandler() noexcept
    {
        for (auto& slot : slots)
            if (slot.used.load())
                unlink (slot.partial);
    }

    void catchTerminatingSignals (void (*handler) (int)) noexcept
    {
        const int fixed[] { SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                            SIGPROF, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR, SIGIO };

        const auto catchOne = [handler] (int signo) {
            struct sigaction previous = {};
            if (sigaction (signo, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
                return;

            struct sigaction action = {};
            action.sa_handler = handler;
            action.sa_flags = SA_RESTART;
            sigfillset (&action.sa_mask);
            sigaction (signo, &action, nullptr);
        };

        for (const auto signo : fixed)
            catchOne (signo);

        for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo)
            catchOne (signo);
    }
}
