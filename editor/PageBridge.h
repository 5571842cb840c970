#pragma once

#include "editor/DishView.h"
#include "editor/PageEvents.h"
#include "editor/PublishSteps.h"
#include "editor/ScopeAnalysis.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <optional>

namespace brivola
{

class BrivolaAudioProcessor;

//==============================================================================
/** What the bridge needs of the window that shows the page: a clock, where the window is, the
    display it is on, and a way to send a message to the page. The editor implements it over its
    component, the framework's displays and its browser; tests use a fake. */
class PageWindow
{
public:
    virtual ~PageWindow() = default;

    /** A monotonic clock in milliseconds (the framework's high-resolution millisecond counter). */
    virtual double nowMs() = 0;
    /** The editor's top-left corner in screen coordinates. */
    virtual juce::Point<int> screenPosition() = 0;
    /** True while the editor is showing on screen. */
    virtual bool isShowingOnScreen() = 0;
    /** The editor's bounds in screen coordinates. */
    virtual juce::Rectangle<int> screenBounds() = 0;
    /** The whole area of the display that shows most of `bounds`, if any. */
    virtual std::optional<juce::Rectangle<int>> displayAreaFor (juce::Rectangle<int> bounds) = 0;
    /** Sends a message to the page; dropped while the browser is not visible. */
    virtual void emit (const juce::Identifier& name, const juce::var& value) = 0;
};

//==============================================================================
/** The editor's side of the page bridge: answers the page's events with processor operations and
    publishes the processor's state to the page every tick, sending only what changed.

    Fast items (note, faders, window motion, light, cells, voices, scope) are batched into one
    "frame" per tick; the pipette lists, statistics, presets, the paused state and the storage
    notice go on their own. "ready" republishes everything. Message thread only. */
class PageBridge final : public PageEventTarget
{
public:
    PageBridge (BrivolaAudioProcessor& processor, PageWindow& window);
    ~PageBridge() override;

    /** One publishing tick (every 16 ms). */
    void tick();

    /** Inside a tick, adds the value to the frame under `name`; outside, sends it at once. */
    void publish (const juce::Identifier& name, const juce::var& value);

    /** The builders; `force` (from "ready") sends whatever the caches hold. */
    void publishFx (bool force);
    void publishLight (bool force);
    void publishPipette (bool force);
    void publishStats (bool force);
    void publishPresets (bool force);

    //==============================================================================
    // PageEventTarget
    void keyboardNoteOn (int note) override;
    void keyboardNoteOff() override;
    void pageReady() override;
    void setParameterFromPage (int index, float value) override;
    void parameterGesture (int index, bool begin) override;
    void setPageNumber (int page) override;
    void savePresetSlot (int slot) override;
    void startPresetPreview (int slot, int note, int token) override;
    void stopPresetPreview (int token) override;
    void recallPresetSlot (int slot) override;
    void clearPresetSlot (int slot) override;
    void setScopeCapture (bool on) override;
    void stirAt (double x, double y, double dx, double dy) override;
    void setStirring (bool on) override;
    void setPipetteMode (bool on) override;
    void rerollDish() override;
    void setTheme (double value) override;
    void previewPipette (const juce::String& shape, const juce::String& colour, double pan) override;
    void dropPipette (const juce::String& shape, const juce::String& colour,
                      double x, double y, double vx, double vy) override;
    void markPipetteSeen (const juce::StringArray& keys) override;

    //==============================================================================
    const WindowMotion& getWindowMotion() const noexcept { return motion; }
    /** Number of "ready" events handled (one per page load); automated hosts wait for it. */
    int getReadyCount() const noexcept { return readyCount; }
    float getFaderCache (int index) const noexcept { return faderCache[(std::size_t) index % faderCache.size()]; }

private:
    void publishWindowMotion();
    void publishDishView();
    void publishVoices();
    void publishScope();

    BrivolaAudioProcessor& processor;
    PageWindow& window;

    bool inTick = false;
    int readyCount = 0;
    juce::DynamicObject::Ptr frame;

    int lastNote = -2;
    std::array<float, pageParameterCount> faderCache {};
    bool faderCacheValid = false;
    WindowMotion motion;
    juce::Rectangle<int> lightBounds;
    bool lightValid = false;
    std::uint32_t tickCounter = 0;
    DishViewCache dishView;
    bool voicesWereListed = false;
    ScopeView scope;
    std::optional<std::uint64_t> pipetteRevision, presetsRevision;
    StatsCadence stats;
    StorageNoticeWatch storage;
    HostPauseWatch hostPause;

    juce::Array<juce::var> cellsValues, levelValues, waveValues, barValues;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PageBridge)
};

} // namespace brivola
