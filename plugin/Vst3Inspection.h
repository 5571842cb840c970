#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <pluginterfaces/base/funknown.h>

#include <memory>

namespace brivola
{

//==============================================================================
/** The inspection interface: a small VST3 interface of this plug-in for automated hosts (the
    project's test host), which reach the plug-in only through its VST3 objects. It lets the host
    run a JavaScript snippet in the open editor's page and read the result back as text, and tells
    how many "ready" events the open editor has handled. Ordinary hosts never ask for it.

    Both the component and the edit controller answer it. Call it on the host's message thread
    while the plug-in's editor is open (the plug-in's message thread is then the host's); the
    evaluation's result arrives while the host dispatches its messages. */
class IBrivolaInspection : public Steinberg::FUnknown
{
public:
    /** Starts evaluating a UTF-8 JavaScript snippet in the open editor's page and writes a number
        for `takeScriptResult` to `requestId`. kResultOk when started; kResultFalse when no editor
        is open or when called off the plug-in's message thread; kInvalidArgument for a null
        argument. The snippet's value must be a plain value (a promise cannot be returned). Characters
        beyond ASCII in the snippet are passed as \u escapes; a value holding such characters should
        be escaped by the snippet itself (the framework's channel back from the page garbles it). */
    virtual Steinberg::tresult PLUGIN_API evaluateScript (const char* utf8Script, Steinberg::int32* requestId) = 0;

    /** Takes the result of an evaluation: the value as JSON text, or "error: " and the reason when
        the snippet threw or its value cannot be passed back. Writes the full length in bytes (without
        the terminating NUL) to `length` whenever the request is known. Returns kResultOk when the
        text was copied NUL-terminated into `buffer` (the request is then forgotten);
        kNotInitialized while the evaluation is still running; kOutOfMemory when `bufferSize` is
        smaller than the length plus one (the result is kept); kInvalidArgument for an unknown
        request or a null argument. */
    virtual Steinberg::tresult PLUGIN_API takeScriptResult (Steinberg::int32 requestId,
                                                            char* buffer,
                                                            Steinberg::int32 bufferSize,
                                                            Steinberg::int32* length) = 0;

    /** Number of "ready" events the open editor has handled (one per page load), or -1 when no
        editor is open. */
    virtual Steinberg::int32 PLUGIN_API getReadyCount() = 0;
};

DECLARE_CLASS_IID (IBrivolaInspection, 0x6A2F41C7, 0x93D84B0E, 0xA51C7E26, 0xD08B3F95)

//==============================================================================
/** The processor's VST3 extensions: answers the inspection interface for both the component and
    the edit controller. Owned by the processor; the interface object lives exactly as long as its
    processor, so a host must release it before deleting the instance. */
class Vst3Inspection final : public juce::VST3ClientExtensions,
                             private IBrivolaInspection
{
public:
    explicit Vst3Inspection (juce::AudioProcessor& processorIn);
    ~Vst3Inspection() override;

    int32_t queryIEditController (const Steinberg::TUID iid, void** obj) override;
    int32_t queryIAudioProcessor (const Steinberg::TUID iid, void** obj) override;

private:
    struct Results;

    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    Steinberg::tresult PLUGIN_API evaluateScript (const char* utf8Script, Steinberg::int32* requestId) override;
    Steinberg::tresult PLUGIN_API takeScriptResult (Steinberg::int32 requestId,
                                                    char* buffer,
                                                    Steinberg::int32 bufferSize,
                                                    Steinberg::int32* length) override;
    Steinberg::int32 PLUGIN_API getReadyCount() override;

    juce::AudioProcessor& processor;
    std::shared_ptr<Results> results; // shared with evaluations still running
    std::atomic<Steinberg::uint32> references { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Vst3Inspection)
};

} // namespace brivola
