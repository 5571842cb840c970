// Helpers for the store tests: a private temporary folder per test, child processes, file access.
#pragma once

#include "store/SharedStore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brivola::testing
{

/** A new, empty folder under the system's temporary folder (or, when asked and present, under
    the memory file system /dev/shm, where syncing a file to disk costs nothing), deleted with
    everything in it. */
class TempFolder
{
public:
    explicit TempFolder (bool inMemory = false)
        : folder (baseFolder (inMemory).getNonexistentChildFile ("brivola-store-test", {}, false))
    {
        folder.createDirectory();
    }

    ~TempFolder() { folder.deleteRecursively(); }

    const juce::File& get() const noexcept { return folder; }
    juce::String path() const { return folder.getFullPathName(); }
    juce::File child (const char* name) const { return folder.getChildFile (name); }

private:
    static juce::File baseFolder (bool inMemory)
    {
        const juce::File shm ("/dev/shm");

        if (inMemory && shm.isDirectory() && shm.hasWriteAccess())
            return shm;

        return juce::File::getSpecialLocation (juce::File::tempDirectory);
    }

    juce::File folder;
};

/** Runs `body` in a forked child that ends with _exit (body's result), never returning into the
    test runner. Returns the child's process id (or -1). */
inline pid_t forkChild (const std::function<int()>& body)
{
    const auto pid = ::fork();

    if (pid == 0)
    {
        int code = 99;

        try
        {
            code = body();
        }
        catch (...)
        {
        }

        ::_exit (code);
    }

    return pid;
}

/** Waits for a child; returns its exit code, or 128 + signal number when a signal ended it. */
inline int waitForChild (pid_t pid)
{
    int status = 0;

    while (::waitpid (pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;

    if (WIFEXITED (status))
        return WEXITSTATUS (status);

    if (WIFSIGNALED (status))
        return 128 + WTERMSIG (status);

    return -1;
}

/** Writes all of `bytes` to a descriptor. */
inline bool writeAll (int fd, const void* bytes, size_t count)
{
    const auto* p = static_cast<const char*> (bytes);

    while (count > 0)
    {
        const auto written = ::write (fd, p, count);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return false;

        p += written;
        count -= static_cast<size_t> (written);
    }

    return true;
}

/** Reads exactly `count` bytes; false on end of file or error. */
inline bool readAll (int fd, void* bytes, size_t count)
{
    auto* p = static_cast<char*> (bytes);

    while (count > 0)
    {
        const auto got = ::read (fd, p, count);

        if (got < 0 && errno == EINTR)
            continue;

        if (got <= 0)
            return false;

        p += got;
        count -= static_cast<size_t> (got);
    }

    return true;
}

/** All 128 valid species keys in code-point order. */
inline juce::StringArray allSpeciesKeys()
{
    const char* shapes[] = { "normal", "spade", "clover", "heart", "diamond", "crown", "gear", "star",
                             "bolt", "puzzle", "bell", "leaf", "flower", "controller", "ribbon", "moon" };
    const char* colours[] = { "#A9D1FD", "#B8A1FB", "#FCD9EC", "#FDB8C0",
                              "#FCDA6F", "#FDC58E", "#A1F2BF", "#AFB5BE" };
    juce::StringArray keys;

    for (const auto* shape : shapes)
        for (const auto* colour : colours)
            keys.add (juce::String (shape) + "|" + colour);

    keys.sort (false);
    return keys;
}

/** Writes `text` as the file's exact bytes. */
inline void writeText (const juce::File& file, const juce::String& text)
{
    ASSERT_TRUE (file.replaceWithData (text.toRawUTF8(), text.getNumBytesAsUTF8()));
}

inline juce::String readText (const juce::File& file)
{
    return file.loadFileAsString();
}

} // namespace brivola::testing
