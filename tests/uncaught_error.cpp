// A C++ program that catches nothing: the library's error must still be told before it ends.
#include "trelk/format.h"
#include "trelk/surface.h"

int main() {
    trelk::Format format;
    trelk::Surface surface(-5, 4, format);
    return surface.width();
}
