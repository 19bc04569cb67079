// The demo's command line: --help and --version answer and end the program; without arguments
// the demo runs; anything else is refused with status 2.
//
// The entry point receives the command line as one string, as a GUI program does (the
// program's name left out). On Windows that string is split by the system's own rules
// (backslashes count only before a double quote); on the desktop's other systems main() joins
// its arguments into such a string with join_command_line, which split_command_line undoes.
#ifndef DEMO_COMMAND_LINE_H
#define DEMO_COMMAND_LINE_H

#include <string>
#include <vector>

// The arguments of a command line (without the program's name)
std::vector<std::string> split_command_line(const char* command_line);

// One string that split_command_line gives back as these arguments exactly
std::string join_command_line(const std::vector<std::string>& arguments);

// What the arguments ask for. An unknown argument wins over --help and --version: the first
// one found is named in the message.
struct CommandLineAnswer {
    bool run = true;     // no arguments: the demo runs
    int status = 0;      // when not run: the exit status
    std::string output;  // when not run and status 0: for standard output
    std::string error;   // when not run and status 2: for standard error
};
CommandLineAnswer answer_command_line(const std::vector<std::string>& arguments);

// What --help prints: the description, the keys and the display library's settings, from its
// settings table
std::string help_text();

// What --version prints: "kelvra demo 1.0.0"
std::string version_text();

// Splits and answers the command line and writes the answer where the person who started the
// program reads it (on Windows: the console it was started from, or a message box when there
// is none). -1 when the demo is to run, else the exit status.
int handle_command_line(const char* command_line);

#endif
