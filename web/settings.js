// Put before the program's own start-up code: the display library's settings come from the
// page's address, as they come from the environment on the desktop: ?frames=300 is
// TRELK_FRAMES=300, ?vsync=0 is TRELK_VSYNC=0, ?display=web is TRELK_DISPLAY=web. The names
// are quoted: the link's Closure Compiler would shorten them otherwise, and the address's
// names would no longer be found.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  const names = { 'frames': 'TRELK_FRAMES', 'vsync': 'TRELK_VSYNC', 'display': 'TRELK_DISPLAY' };
  new URLSearchParams(location.search).forEach(function (value, name) {
    if (Object.prototype.hasOwnProperty.call(names, name)) ENV[names[name]] = value;
  });
});
