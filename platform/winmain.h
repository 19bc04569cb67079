// The demo's entry point, in the shape of a GUI process entry: instance, previous instance,
// command line and show command; only the command line is read (the arguments without the
// program's name: demo/command_line.h). Returns the process's exit status: 0 after a normal
// run or an answered --help or --version, 1 after an error was reported, 2 for an unknown
// argument.
//
// It has C linkage, as the GUI entry point has: on Windows the C runtime calls it as the
// process's entry (64-bit Windows has one calling convention, so these parameter types are
// the system's own); on Linux and in the browser the platform's main() calls it.
#ifndef PLATFORM_WINMAIN_H
#define PLATFORM_WINMAIN_H

extern "C" int WinMain(void* instance, void* previous_instance, char* command_line,
                       int show_command);

#endif
