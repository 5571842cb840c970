#!/usr/bin/env python3
# page_dish_frame_ms_p95_webkit: the dish renderer's own time per drawn frame (the page's
# "dish-frame" performance entries) in WebKitGTK 4.1, the engine of the editor on Linux, set up as
# the framework sets up the editor's web view (hardware acceleration off, the page served from its
# own URI scheme, worker from a blob URL), with the same moving culture as dish-frame.bench.js:
# 24 motif cells with bridges and ripples, both themes, 600 drawn frames each.
#
#   xvfb-run -a bench/page/dish-frame-webkit.py PAGEDIR [OUT.json]   (or dish-frame-webkit.bench.js)
#
# BRIVOLA_DISH_ON_MAIN=1 measures the main-thread renderer instead of the worker.
# Needs python3-gi and gir1.2-webkit2-4.1 (Debian) and a display (Xvfb). Writes
# { "page_dish_frame_ms_p95_webkit": …, "_light", "_dark", "page_dish_frame_ms_median_webkit": …,
# "page_dish_worker_webkit": 1 when the worker drew, 0 on the main thread }.

import json
import math
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("WebKit2", "4.1")
from gi.repository import Gio, GLib, Gtk, WebKit2  # noqa: E402

FRAMES = 600
MIME = {".html": "text/html", ".css": "text/css", ".js": "text/javascript", ".woff2": "font/woff2", ".png": "image/png"}
FAKE_BRIDGE = """
window.__brivolaSent = [];
(() => {
    const listeners = new Map ();
    window.__JUCE__ = { backend: {
        addEventListener (n, f) { if (! listeners.has (n)) listeners.set (n, []); listeners.get (n).push (f); },
        removeEventListener () {},
        emitEvent (n, p) { window.__brivolaSent.push ({ name: n, payload: p }); },
        emitByBackend (n, p) { for (const f of listeners.get (n) || []) f (p); } } };
}) ();
"""

page_dir = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("BRIVOLA_PAGE_DIR", "")
out_path = sys.argv[2] if len(sys.argv) > 2 else None
if not os.path.isfile(os.path.join(page_dir, "ui.js")):
    sys.exit("usage: dish-frame-webkit.py PAGEDIR [OUT.json] (a folder built by ui/build-page.sh)")
culture = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "dish-culture.js")).read()


def serve(request):
    name = request.get_path().lstrip("/") or "index.html"
    full = os.path.join(page_dir, name)
    if "/" in name or not os.path.isfile(full):
        request.finish_error(GLib.Error.new_literal(Gio.io_error_quark(), "not found", Gio.IOErrorEnum.NOT_FOUND))
        return
    data = open(full, "rb").read()
    request.finish(Gio.MemoryInputStream.new_from_data(data), len(data),
                   MIME.get(os.path.splitext(name)[1], "application/octet-stream"))


WebKit2.WebContext.get_default().register_uri_scheme("juce", serve)
if os.environ.get("BRIVOLA_DISH_ON_MAIN"):
    FAKE_BRIDGE += "window.__BRIVOLA_DISH_ON_MAIN = true;\n"
content = WebKit2.UserContentManager()
content.add_script(WebKit2.UserScript.new(FAKE_BRIDGE, WebKit2.UserContentInjectedFrames.TOP_FRAME,
                                          WebKit2.UserScriptInjectionTime.START, None, None))

results = {}
failure = []


def evaluate(view, script, then):
    def done(v, result):
        try:
            then(json.loads(v.evaluate_javascript_finish(result).to_json(0) or "null"))
        except Exception as error:  # a failed snippet ends the run
            failure.append(str(error))
            Gtk.main_quit()
    view.evaluate_javascript(script, -1, None, None, None, done)


def measure(theme, name, then):
    view = WebKit2.WebView(user_content_manager=content)
    view.get_settings().set_hardware_acceleration_policy(WebKit2.HardwareAccelerationPolicy.NEVER)
    window = Gtk.Window()
    window.set_default_size(415, 646)
    window.add(view)
    window.show_all()

    def finish():
        evaluate(view, "JSON.stringify ({ d: performance.getEntriesByName ('dish-frame').map ((e) => e.duration),"
                       " worker: getComputedStyle (document.getElementById ('dish-worker-canvas')).display !== 'none' })",
                 lambda text: (results.__setitem__(name, json.loads(text)), window.destroy(), then()))

    def poll():
        evaluate(view, "performance.getEntriesByName ('dish-frame').length",
                 lambda n: finish() if n >= FRAMES else GLib.timeout_add(500, lambda: poll() and False))

    def settled():
        # The rim images are made lazily, one every 50 ms; count once they all exist.
        evaluate(view, "performance.clearMeasures ('dish-frame'); 1", lambda _: poll())
        return False

    def start():
        evaluate(view, "window.__JUCE__.backend.emitByBackend ('ui', { page: 0, theme: %d });"
                       "window.__JUCE__.backend.emitByBackend ('fx', { reverb: 0.5, delay: 0.4, chorus: 0.3 }); 1" % theme,
                 lambda _: evaluate(view, culture + "\n1", lambda _: GLib.timeout_add(14000, settled)))

    def loaded(v, event):
        if event == WebKit2.LoadEvent.FINISHED:
            GLib.timeout_add(1500, lambda: start() and False)

    view.connect("load-changed", loaded)
    view.load_uri("juce://juce.backend/index.html")


def percentile(values, q):
    s = sorted(values)
    return s[min(len(s) - 1, max(0, math.ceil(q * len(s)) - 1))]


GLib.timeout_add(240000, lambda: (failure.append("timed out"), Gtk.main_quit()))
measure(1, "light", lambda: measure(0, "dark", Gtk.main_quit))
Gtk.main()
if failure or len(results) != 2:
    sys.stderr.write("dish-frame-webkit: " + (", ".join(failure) or "incomplete") + "\n")
    sys.stderr.flush()
    os._exit(1)

light, dark = results["light"]["d"][:FRAMES], results["dark"]["d"][:FRAMES]
figures = {
    "page_dish_frame_ms_p95_webkit": round(percentile(light + dark, 0.95), 3),
    "page_dish_frame_ms_p95_webkit_light": round(percentile(light, 0.95), 3),
    "page_dish_frame_ms_p95_webkit_dark": round(percentile(dark, 0.95), 3),
    "page_dish_frame_ms_median_webkit": round(percentile(light + dark, 0.5), 3),
    "page_dish_worker_webkit": 1 if results["light"]["worker"] and results["dark"]["worker"] else 0,
}
text = json.dumps(figures, indent=2) + "\n"
if out_path:
    open(out_path, "w").write(text)
sys.stdout.write(text)
sys.stdout.flush()
# Leave without tearing the web views down again (GTK's exit path can crash on them).
os._exit(0)
