// The delayed reveal: hide at once, show 130 ms later unless a newer switch came.

export const REVEAL_DELAY_MS = 130;

/** Hides or shows elements with the page's fade (class is-hidden). */
export function setShown (elements, shown)
{
    for (const el of elements)
        if (el)
        {
            el.classList.toggle ("is-hidden", ! shown);
            el.setAttribute ("aria-hidden", shown ? "false" : "true");
        }
}

/**
    One reveal channel. reveal({ hide, show, stillValid, then }) hides `hide` now and shows `show`
    after the delay if stillValid() holds; a newer call completes the older one at once.
*/
export function createRevealer (setTimer = setTimeout, clearTimer = clearTimeout)
{
    let pending = null;

    const complete = (job) =>
    {
        if (! job.stillValid || job.stillValid ())
        {
            setShown (job.show, true);
            job.then?.();
        }
    };

    return {
        reveal (job)
        {
            if (pending)
            {
                clearTimer (pending.timer);
                const older = pending;
                pending = null;
                complete (older);
            }
            setShown (job.hide ?? [], false);
            const entry = { ...job, show: job.show ?? [] };
            entry.timer = setTimer (() =>
            {
                if (pending === entry)
                    pending = null;
                complete (entry);
            }, REVEAL_DELAY_MS);
            pending = entry;
        },
    };
}
