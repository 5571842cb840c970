// Two instances sharing one store folder, in one process and in two processes: a discovery made in
// one appears in the other within a few timer seconds, and a preset saved in one is recalled in
// the other.
#include "tests/collection/CollectionTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brivola
{
namespace
{

using testing::FakeHost;
using testing::keyOf;
using testing::TempStoreFolder;

constexpr const char* childFolderVariable = "BRIVOLA_COLLECTION_CHILD_FOLDER";

/** Runs timer seconds on `collection` until `done` holds, at most `seconds` of them. */
template <typename Done>
bool runSecondsUntil (Collection& collection, int seconds, Done&& done)
{
    for (int s = 0; s < seconds; ++s)
    {
        if (done())
            return true;
        collection.runTimerWork();
    }
    return done();
}

/** An instance: a processor stand-in with its collection. */
struct Instance
{
    explicit Instance (const juce::String& folder)
    {
        collection.loadSharedData (folder);
    }

    ~Instance() { collection.shutdown(); }

    FakeHost host;
    Collection collection { host };
};

/** Empties the instance's dish. */
void emptyDish (Instance& instance)
{
    const juce::ScopedLock sl (instance.host.lock);
    instance.host.dish = Dish {};
    instance.host.dish.exchange = &instance.host.exchange;
}

/** Saves a recognisable dish into `slot`: two cells with the given ids and parameter 0 = `filter`. */
void saveRecognisable (Instance& instance, int slot, std::int32_t firstId, double filter)
{
    emptyDish (instance);
    instance.host.place (11, 3, firstId, -0.25, 0.0, 5.0);
    instance.host.place (-1, 6, firstId + 1, 0.25, 0.0, 2.0);
    instance.host.params[0] = filter;
    instance.collection.savePresetSlot (slot);
}

/** Recalls `slot` and checks that the recognisable dish arrives with its ids and the filter value. */
void expectRecalled (Instance& instance, int slot, std::int32_t firstId, double filter)
{
    instance.host.dish.activity = 0.0;
    instance.collection.recallPresetSlot (slot);
    EXPECT_DOUBLE_EQ (instance.host.params[0], filter);
    instance.host.runTicks (instance.collection, 10);
    std::vector<std::int32_t> ids;
    for (const auto& c : instance.host.dish.cells)
        if (isLive (c))
            ids.push_back (c.id);
    EXPECT_EQ (ids, (std::vector<std::int32_t> { firstId, firstId + 1 }));
}

TEST (TwoInstancesTest, InOneProcessShareDiscoveriesAndPresets)
{
    TempStoreFolder folder;
    Instance a (folder.path());
    Instance b (folder.path());

    // A species enters a's dish.
    a.host.place (8, 5, -1, 0.0, 0.0); // puzzle of colour 5: species 69
    a.collection.runTimerWork();
    EXPECT_TRUE (runSecondsUntil (b.collection, 3, [&] { return b.collection.getDiscoveredKeys().contains ("puzzle|#FDC58E"); }));
    EXPECT_TRUE (testSpeciesBit (b.host.exchange.discoveredBits, 69));
    bool inPalette = false;
    const auto pal = b.collection.palette();
    for (int i = 0; i < pal.count; ++i)
        inPalette = inPalette || pal.entries[static_cast<std::size_t> (i)] == Species { 8, 5 };
    EXPECT_TRUE (inPalette);

    // A preset saved in a is recalled in b.
    saveRecognisable (a, 10, 1000, 0.625);
    ASSERT_TRUE (a.collection.getPresetSlot (10).value.isObject());
    EXPECT_TRUE (runSecondsUntil (b.collection, 3, [&] { return b.collection.getPresetSlot (10).value.isObject(); }));
    expectRecalled (b, 10, 1000, 0.625);

    // b clears it; a sees the slot empty.
    b.collection.clearPresetSlot (10);
    EXPECT_TRUE (runSecondsUntil (a.collection, 3, [&] { return a.collection.getPresetSlot (10).value.isVoid(); }));
}

//==============================================================================
/** The second process's part, started by the test below (disabled, so a normal run leaves it out). */
TEST (TwoProcessesChild, DISABLED_RecallsTheParentsPresetAndAnswers)
{
    const char* folder = std::getenv (childFolderVariable);
    ASSERT_NE (folder, nullptr) << "run by TwoProcessesTest only";

    Instance child (folder);
    EXPECT_TRUE (runSecondsUntil (child.collection, 3, [&] { return child.collection.getDiscoveredKeys().contains ("flower|#B8A1FB"); }));
    ASSERT_TRUE (child.collection.getPresetSlot (2).value.isObject());
    expectRecalled (child, 2, 2000, 0.375);

    // The answer: a discovery and a preset of its own.
    child.host.place (13, 0, -1, 0.5, 0.5); // ribbon of colour 0
    child.collection.runTimerWork();
    saveRecognisable (child, 5, 3000, 0.875);
    EXPECT_TRUE (child.collection.getPresetSlot (5).value.isObject());
}

TEST (TwoProcessesTest, ShareDiscoveriesAndPresets)
{
    TempStoreFolder folder;
    Instance parent (folder.path());
    parent.host.place (11, 1, -1, 0.0, 0.3); // flower of colour 1
    parent.collection.runTimerWork();
    saveRecognisable (parent, 2, 2000, 0.375);
    ASSERT_TRUE (parent.collection.getPresetSlot (2).value.isObject());

    // The test program itself, filtered to the child's part, with the folder in its environment.
    auto exe = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toStdString();
    std::string filter = "--gtest_filter=TwoProcessesChild.*";
    std::string alsoDisabled = "--gtest_also_run_disabled_tests";
    std::string variable = std::string (childFolderVariable) + "=" + folder.path().toStdString();
    std::vector<char*> argv { exe.data(), filter.data(), alsoDisabled.data(), nullptr };
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e)
        envp.push_back (*e);
    envp.push_back (variable.data());
    envp.push_back (nullptr);

    const pid_t pid = ::fork();
    ASSERT_GE (pid, 0);
    if (pid == 0)
    {
        ::execve (exe.c_str(), argv.data(), envp.data());
        ::_exit (127);
    }

    // Bounded wait: a stuck child is killed and fails the test.
    int status = 0;
    bool finished = false;
    for (int waited = 0; waited < 120000 && ! finished; waited += 20)
    {
        const pid_t r = ::waitpid (pid, &status, WNOHANG);
        finished = r == pid;
        if (! finished)
            std::this_thread::sleep_for (std::chrono::milliseconds (20));
    }
    if (! finished)
    {
        ::kill (pid, SIGKILL);
        ::waitpid (pid, &status, 0);
        FAIL() << "the child process did not finish";
    }
    ASSERT_TRUE (WIFEXITED (status));
    ASSERT_EQ (WEXITSTATUS (status), 0) << "the child process's checks failed";

    EXPECT_TRUE (runSecondsUntil (parent.collection, 3, [&] { return parent.collection.getDiscoveredKeys().contains ("ribbon|#A9D1FD"); }));
    EXPECT_TRUE (testSpeciesBit (parent.host.exchange.discoveredBits, 13 * 8 + 0));
    ASSERT_TRUE (parent.collection.getPresetSlot (5).value.isObject());
    emptyDish (parent);
    expectRecalled (parent, 5, 3000, 0.875);
}

} // namespace
} // namespace brivola
