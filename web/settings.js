// Put before the program's own start-up code: the display library's settings come from the
// page's address, as they come from the environment on the desktop: ?frames=300 is
// TRELK_FRAMES=300, ?vsync=0 is TRELK_VSYNC=0, ?display=web is TRELK_DISPLAY=web.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  const names = { frames: 'TRELK_FRAMES', vsync: 'TRELK_VSYNC', display: 'TRELK_DISPLAY' };
  new URLSearchParams(location.search).forEach(function (value, name) {
    if (names[name]) ENV[names[name]] = value;
  });
});
