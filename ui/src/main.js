import { emit, listen } from "./bridge.js";

for (const name of ["frame", "state", "fx", "ui", "hostPaused", "storageError", "cells", "voices",
                    "pipette", "presets", "stats", "scope", "window", "light"])
    listen (name, () => {});
emit ("ready", {});
