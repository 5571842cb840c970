#include "engine/NoteTracker.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

double noteFrequency (int note) noexcept
{
    return 440.0 * std::pow (2.0, (note - 69) / 12.0);
}

void NoteTracker::clear() noexcept
{
    stackCount = 0;
    velocities.fill (1.0f);
    held.fill (false);
    sustained.fill (false);
    pedal = false;
    keyboard = -1;
    current.exchange (-1);
}

void NoteTracker::removeFromStack (int note) noexcept
{
    int out = 0;
    for (int i = 0; i < stackCount; ++i)
        if (stack[(std::size_t) i] != note)
            stack[(std::size_t) out++] = stack[(std::size_t) i];
    stackCount = out;
}

void NoteTracker::pushOnStack (int note) noexcept
{
    removeFromStack (note);
    if (stackCount < 128)
        stack[(std::size_t) stackCount++] = static_cast<std::uint8_t> (note);
}

void NoteTracker::startNote (int note, bool legato, float velocity, NoteSink& sink) noexcept
{
    if (sink.startNote (note, legato, velocity))
        current.exchange (note);
}

void NoteTracker::releaseNotes (NoteSink& sink) noexcept
{
    sink.releaseNotes();
    current.exchange (-1);
}

void NoteTracker::resume (bool legato, NoteSink& sink) noexcept
{
    if (keyboard >= 0)
        startNote (keyboard, legato, 1.0f, sink);
    else if (stackCount > 0)
    {
        const int top = topOfStack();
        startNote (top, legato, velocities[(std::size_t) top], sink);
    }
    else
        releaseNotes (sink);
}

void NoteTracker::liftPedal (NoteSink& sink) noexcept
{
    pedal = false;
    for (int n = 0; n < 128; ++n)
        if (sustained[(std::size_t) n] && ! held[(std::size_t) n])
            removeFromStack (n);
    sustained.fill (false);
    resume (true, sink);
}

void NoteTracker::handleMidi (const std::uint8_t* data, int size, bool bypassed, NoteSink& sink) noexcept
{
    if (data == nullptr || size < 1)
        return;

    const int status = data[0] & 0xF0;
    const int d1 = size > 1 ? (data[1] & 0x7F) : 0;
    const int d2 = size > 2 ? (data[2] & 0x7F) : 0;

    const bool noteOn = status == 0x90 && size >= 3 && d2 > 0;
    const bool noteOff = (status == 0x80 && size >= 3) || (status == 0x90 && size >= 3 && d2 == 0);

    if (noteOn)
    {
        if (bypassed)
            return;
        const int note = std::min (d1, 127);
        velocities[(std::size_t) note] = static_cast<float> (d2) / 127.0f;
        held[(std::size_t) note] = true;
        sustained[(std::size_t) note] = false;
        pushOnStack (note);
        const bool legato = current.load() != -1;
        resume (legato, sink);
        return;
    }

    if (noteOff)
    {
        const int note = d1;
        held[(std::size_t) note] = false;
        if (pedal)
            sustained[(std::size_t) note] = true;
        else
        {
            sustained[(std::size_t) note] = false;
            removeFromStack (note);
        }
        resume (true, sink);
        return;
    }

    if (status == 0xB0 && size >= 3)
    {
        switch (d1)
        {
            case 64:
            {
                const bool down = d2 > 63;
                if (down)
                    pedal = true;
                else if (pedal)
                    liftPedal (sink);
                break;
            }
            case 1:
                sink.setModulation (d2 / 127.0 * 0.25);
                break;
            case 120:
            case 123:
                stackCount = 0;
                pedal = false;
                held.fill (false);
                sustained.fill (false);
                if (keyboard >= 0)
                    startNote (keyboard, true, 1.0f, sink);
                else
                {
                    sink.releaseEverything (d1 == 120);
                    current.exchange (-1);
                }
                break;
            case 121:
                sink.setBend (1.0);
                sink.setModulation (0.0);
                if (pedal)
                    liftPedal (sink);
                break;
            default:
                break;
        }
        return;
    }

    if (status == 0xE0 && size >= 3)
    {
        const int value = (d2 << 7) | d1;
        sink.setBend (std::pow (2.0, (value - 8192) / 8192.0 * 2.0 / 12.0));
    }
}

void NoteTracker::keyboardNoteOn (int note, NoteSink& sink) noexcept
{
    note = std::clamp (note, 0, 127);
    keyboard = note;
    startNote (note, current.load() != -1, 1.0f, sink);
}

void NoteTracker::keyboardNoteOff (NoteSink& sink) noexcept
{
    keyboard = -1;
    if (stackCount > 0)
    {
        const int top = topOfStack();
        startNote (top, true, velocities[(std::size_t) top], sink);
    }
    else
        releaseNotes (sink);
}

} // namespace brivola
