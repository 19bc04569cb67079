// The process entry point: WinMain gets the arguments as one command line, as a GUI program
// does, joined so that it splits them back exactly.
#include <string>
#include <vector>

#include "demo/command_line.h"
#include "platform/winmain.h"

int main(int argc, char** argv) {
    std::string command_line = join_command_line(std::vector<std::string>(argv + 1, argv + argc));
    return WinMain(nullptr, nullptr, &command_line[0], 0);
}
