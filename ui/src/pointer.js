// Pointer capture that never throws: a pointer the browser no longer tracks (released between the
// event and the call, or an event made by script) simply goes uncaptured.

/** Captures a pointer on an element when the browser can. */
export function capturePointer (element, pointerId)
{
    try
    {
        element.setPointerCapture?.(pointerId);
    }
    catch
    {
        // the pointer is not active any more: its move and up events still reach the element
    }
}

/** Releases a pointer captured on an element, if it is. */
export function releasePointer (element, pointerId)
{
    try
    {
        if (element.hasPointerCapture?.(pointerId))
            element.releasePointerCapture (pointerId);
    }
    catch
    {
        // nothing was captured
    }
}
