// The process entry point: the demo takes no arguments, so WinMain gets none.
#include "platform/winmain.h"

int main() {
    char command_line[] = "";
    return WinMain(nullptr, nullptr, command_line, 0);
}
