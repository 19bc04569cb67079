/// @file
/// Everything a program needs from trelk in one include: the object layer (Console, Surface and
/// the value objects), the key codes, and the display library's extras (palette contents, the
/// values of areas, formats and modes), lines, shapes, text and image files, and the mouse and
/// typed text.
#ifndef TRELK_TRELK_H
#define TRELK_TRELK_H

#include "area.h"
#include "color.h"
#include "console.h"
#include "display.h"
#include "draw.h"
#include "error.h"
#include "format.h"
#include "graphics.h"
#include "input.h"
#include "key.h"
#include "keys.h"
#include "library.h"
#include "mode.h"
#include "palette.h"
#include "surface.h"
#include "timer.h"

#endif
