// The demo's entry point, in the shape of a GUI process entry: instance, previous instance,
// command line and show command, all ignored. Returns the process's exit status: 0 after a
// normal run, 1 after an error was reported.
#ifndef PLATFORM_WINMAIN_H
#define PLATFORM_WINMAIN_H

int WinMain(void* instance, void* previous_instance, char* command_line, int show_command);

#endif
