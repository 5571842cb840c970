// The page's side of the native event bridge (window.__JUCE__.backend).

/** The backend object the web view injects, or null when the page runs without one. */
export function findBackend (win = globalThis)
{
    const backend = win?.__JUCE__?.backend;
    return backend && typeof backend.emitEvent === "function" && typeof backend.addEventListener === "function"
        ? backend : null;
}

/** Sends one event; does nothing without a bridge. */
export function emit (name, payload = {})
{
    const backend = findBackend ();
    if (backend)
        backend.emitEvent (name, payload);
}

/** Registers a listener for a native message; does nothing without a bridge. */
export function listen (name, listener)
{
    const backend = findBackend ();
    if (backend)
        backend.addEventListener (name, listener);
}
