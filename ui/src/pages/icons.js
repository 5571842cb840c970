// Icon art of the pages (24 × 24 boxes, drawn in the page's text colour by the stylesheet).

export const ICON_PREVIOUS = `<path class="icon-line" d="M14.5 6.5 9 12l5.5 5.5"/>`;

export const ICON_NEXT = `<path class="icon-line" d="M9.5 6.5 15 12l-5.5 5.5"/>`;

export const ICON_SORT =
    `<circle class="icon-fill sort-dot" cx="7" cy="7" r="2.6"/><circle class="icon-fill sort-dot" cx="7" cy="17" r="2.6"/>`
    + `<path class="icon-line" d="M12.5 7h6M12.5 12h4.5M12.5 17h3"/>`;

export const ICON_PREVIEW =
    `<path class="icon-fill preview-fill" d="M8 6.2v11.6l9.2-5.8z"/>`
    + `<path class="icon-line" d="M8 6.2v11.6l9.2-5.8z"/>`;

/** The bin of the clear zone: its lid is a group of its own that tilts open. */
export const ICON_BIN =
    `<g class="bin-lid"><path class="icon-line" d="M4.5 7h15M9.5 7V5.2c0-.7.5-1.2 1.2-1.2h2.6c.7 0 1.2.5 1.2 1.2V7"/></g>`
    + `<path class="icon-line" d="M6.3 9.5l.9 10a1.6 1.6 0 0 0 1.6 1.5h6.4a1.6 1.6 0 0 0 1.6-1.5l.9-10M10.2 12v6M13.8 12v6"/>`;
