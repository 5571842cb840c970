#include "host/PluginHost.h"

#include <gtest/gtest.h>

namespace brivola::host
{

namespace
{
/** A bundle folder with a module binary and a moduleinfo.json, removed afterwards. */
class FakeBundle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bundle = juce::File::createTempFile ("").getSiblingFile ("Fake-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()) + ".vst3");
        ASSERT_TRUE (bundle.createDirectory().wasOk());
    }

    void TearDown() override { bundle.deleteRecursively(); }

    juce::File bundle;
};
} // namespace

TEST (ModuleInfoJson, TrailingCommasGoButCommasInsideStringsStay)
{
    const auto parsed = juce::JSON::parse (withoutTrailingCommas (juce::String::fromUTF8 (R"({ "a": [1, 2, ], "b": "x,] \",}", "c": { "d": "é", }, })")));
    ASSERT_TRUE (parsed.isObject());
    EXPECT_EQ (parsed["a"].size(), 2);
    EXPECT_EQ (parsed["b"].toString(), "x,] \",}");
    EXPECT_EQ (parsed["c"]["d"].toString(), juce::String::fromUTF8 ("é"));
}

TEST_F (FakeBundle, FindsTheModuleBinaryAndTheSdkVersionOfTheAudioClass)
{
   #if JUCE_LINUX && defined(__x86_64__)
    const auto binary = bundle.getChildFile ("Contents/x86_64-linux/" + bundle.getFileNameWithoutExtension() + ".so");
    ASSERT_TRUE (binary.create().wasOk());
    EXPECT_EQ (findModuleBinary (bundle), binary);
   #endif

    EXPECT_TRUE (readModuleInfoSdkVersion (bundle, "Fake").isEmpty()); // no moduleinfo.json yet

    const auto info = bundle.getChildFile ("Contents/Resources/moduleinfo.json");
    ASSERT_TRUE (info.create().wasOk());
    info.replaceWithText (R"({
      "Name": "Fake",
      "Classes": [
        { "Category": "Component Controller Class", "Name": "Fake", "SDKVersion": "VST 9.9.9", },
        { "Category": "Audio Module Class", "Name": "Other", "SDKVersion": "VST 1.0.0", },
        { "Category": "Audio Module Class", "Name": "Fake", "SDKVersion": "VST 3.7.12", "Sub Categories": [ "Instrument", ], },
      ],
    })");

    EXPECT_EQ (readModuleInfoSdkVersion (bundle, "Fake"), "VST 3.7.12");
    EXPECT_EQ (readModuleInfoSdkVersion (bundle, ""), "VST 1.0.0"); // the first audio class
}

TEST_F (FakeBundle, FactoryInfoExplainsAMissingBinary)
{
    const auto info = readFactoryInfo (bundle);
    EXPECT_FALSE (info.available);
    EXPECT_TRUE (info.error.isNotEmpty());
}

} // namespace brivola::host
