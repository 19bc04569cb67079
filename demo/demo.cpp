// The demo: opens the console, starts the music, loads the picture and draws frames until a
// key is pressed. Each frame: clear, copy the picture scaled into a rectangle that jitters
// with two pseudo-random numbers, draw the cube over it, advance the cube, present.
//
// Everything lives in one guarded block: a DynamicError raised anywhere unwinds the objects
// built so far, is reported, and the entry point returns 1. The music's closing calls are
// then skipped; the music library ends with the process.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "demo/command_line.h"
#include "demo/cube.h"
#include "demo/data_files.h"
#include "demo/frame.h"
#include "demo/picture.h"
#include "demo/random.h"
#include "platform/midas.h"
#include "platform/winmain.h"
#include "trelk/area.h"
#include "trelk/console.h"
#include "trelk/error.h"
#include "trelk/format.h"
#include "trelk/surface.h"

void draw_frame(trelk::BaseConsole& console, trelk::BaseSurface& screen,
                trelk::BaseSurface& picture) {
    screen.clear();
    // The first number goes to the bottom, the second to the right edge: -10..-1.
    const int r1 = next_random();
    const int r2 = next_random();
    const trelk::Area destination(320, 200, r2 % 10 - 10, r1 % 10 - 10);
    picture.copy(screen, picture.area(), destination);
    draw_cube(screen, 0, -20, 50, 5, 255, 10);
    advance_angles(2, 1, 2);
    screen.copy(console);
    console.update();
}  // the destination area ends with the frame

int WinMain(void* /*instance*/, void* /*previous_instance*/, char* command_line,
            int /*show_command*/) {
    // --help and --version answer without opening anything; an unknown argument is refused
    const int answered = handle_command_line(command_line);
    if (answered >= 0) return answered;
    std::string where_looked;  // while the picture found in no folder is being read
    try {
        trelk::Console console;
        trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
        console.open("kelvra demo", format, 0);  // the library chooses the size
        const int height = console.height();
        const int width = console.width();
        trelk::Surface screen(width, height, format);
        trelk::Surface picture(320, 200, format);

        MIDASstartup();
        MIDASinit();
        MIDASstartBackgroundPlay(0);
        const std::vector<std::string> folders = data_folders(program_folder());
        std::string module_file = find_data_file("bla.xm", folders);
        if (module_file.empty()) module_file = "bla.xm";
        MIDASmodule module = MIDASloadModule(module_file.c_str());
        MIDASstartBackgroundPlay(0);
        MIDASplayModule(module, 1);  // a null module (file missing or bad) plays nothing

        // Found nowhere, the working folder's name is read: the loader says the picture could
        // not be loaded, as it always has, and a second line says where it was looked for (in
        // the browser, with no folder but the working one, there is nothing more to say)
        std::string picture_file = find_data_file("flagga.tga", folders);
        if (picture_file.empty()) {
            picture_file = "flagga.tga";
            if (folders.size() > 1) where_looked = folders_tried(folders);
        }
        load_picture(picture, picture_file.c_str());
        where_looked.clear();
        build_trig_tables();

        while (!console.key()) draw_frame(console, screen, picture);  // the key is left unread

        console.close();
        MIDASstopBackgroundPlay();
        MIDASclose();
    } catch (trelk::DynamicError& error) {
        error.report();
        // The library reports a message as one line; the folders tried are a line of their own
        if (!where_looked.empty()) std::fprintf(stderr, "%s\n", where_looked.c_str());
        return 1;  // a failed run must not look like a successful one to whoever started it
    } catch (const std::bad_alloc&) {
        // The demo's own strings (the folders its files are looked for in) found no memory
        try {
            trelk::DynamicError("out of memory").report();
        } catch (...) {
            std::fputs("out of memory\n", stderr);
        }
        return 1;
    }
    return 0;
}
