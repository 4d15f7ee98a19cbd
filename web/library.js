// How the demo's full-screen window maps onto the page. Linked after the
// runtime's own libraries, so these replace the runtime's versions.
mergeInto(LibraryManager.library, {
  // The display SDL makes its full-screen window on, and so the canvas's size
  // in pixels and the demo's layout: the page's viewport at the device's
  // pixel ratio, as it is when the demo starts.
  emscripten_get_screen_size: function(width, height) {
    var ratio = window.devicePixelRatio || 1;
    HEAP32[width >> 2] = Math.round(window.innerWidth * ratio);
    HEAP32[height >> 2] = Math.round(window.innerHeight * ratio);
  },
  // Full screen belongs to the page: it enters it from the click that starts
  // the demo and leaves it when the demo ends. SDL's own request could not be
  // granted outside that click: it would be carried out at the viewer's next
  // key press and resize the canvas under the running demo. And SDL leaves
  // full screen whenever it replaces its window, as making the renderer does,
  // which would read as the viewer leaving it. Both are reported as done.
  emscripten_request_fullscreen_strategy: function(target, deferUntilInEventHandler, strategy) {
    return 0;
  },
  emscripten_exit_fullscreen: function() {
    return 0;
  },
});
