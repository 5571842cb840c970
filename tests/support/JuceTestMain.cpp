// Test entry point for tests that need the framework: JUCE's message manager and singletons live
// for the whole run. The user's home points at a temporary folder for the whole run, so no test can
// touch the real shared store.
#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    char pattern[] = "/tmp/brivola-test-home-XXXXXX";
    const char* home = mkdtemp (pattern);
    if (home != nullptr)
        setenv ("HOME", home, 1);

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }

    if (home != nullptr)
        juce::File (home).deleteRecursively();
    return result;
}
