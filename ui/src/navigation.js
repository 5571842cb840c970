// Banks (scope, beaker, ground) and pages (pipette, chart, culture), and when the scope shows.

export const BANKS = ["scope", "beaker", "ground"];
export const PAGES = ["pipette", "chart", "culture"];

/** The bank of a page number; anything outside 0 to 2 is the scope bank. */
export function bankForPage (page)
{
    const i = Math.trunc (page);
    return i >= 0 && i <= 2 ? BANKS[i] : "scope";
}

/** Whether the scope is visible. */
export const scopeVisible = (s) => s.banksRevealed && s.bank === "scope" && s.mode === "home";

/**
    Pure transition of the navigation state for a press of one of the five round buttons
    ("beaker", "flask", "pipette", "chart", "culture"). Returns { state, sends: [[name, payload]] , show }
    where show names what becomes visible: { bank } or { page }.
*/
export function pressButton (s, button)
{
    const sends = [];
    const leave = (mode) =>
    {
        if (s.mode === "pipette" && mode !== "pipette")
            sends.push (["pipetteMode", { on: false }]);
    };

    if (button === "beaker" || button === "flask")
    {
        const wanted = button === "beaker" ? "beaker" : "ground";
        const bank = s.mode === "home" && s.bank === wanted ? "scope" : wanted;
        leave ("home");
        sends.push (["uiPage", { page: BANKS.indexOf (bank) }]);
        return { state: { ...s, mode: "home", bank }, sends, show: { bank } };
    }

    if (PAGES.includes (button))
    {
        if (s.mode === button)
        {
            leave ("home");
            sends.push (["uiPage", { page: 0 }]);
            return { state: { ...s, mode: "home", bank: "scope" }, sends, show: { bank: "scope" } };
        }
        leave (button);
        if (button === "pipette")
            sends.push (["pipetteMode", { on: true }]);
        return { state: { ...s, mode: button }, sends, show: { page: button } };
    }
    return { state: s, sends, show: null };
}
