// The wireframe cube: 8 corners and 12 edges, turned about three axes by angles that index
// two 256-entry trigonometric tables, projected in perspective around pixel (160, 100) and
// drawn as thick one-colour lines straight into the 32-bit pixels of a surface, one
// lock(), width(), store, unlock() per pixel.
//
// The state is module-level, zero at start and shared by every call: not reentrant.
// Pixels outside the surface are skipped (lines are clipped before they are rasterised), a
// corner at or behind the viewer leaves its edges undrawn, and angles outside 0..255 are
// taken modulo 256.
#ifndef DEMO_CUBE_H
#define DEMO_CUBE_H

#include <cstdint>

#include "trelk/surface.h"

// Corner v has bit 2 set where x is -10, bit 1 where y is -10, bit 0 where z is -10.
extern const float cube_vertices[8][3];
// The 12 edges as (from, to) corner pairs, in drawing order; the direction decides pixels.
extern const int cube_edges[12][2];

// Entry k: cosine and sine of k * 3.141592654 / 128, rounded to float. Zero until built.
extern float cos_table[256];
extern float sin_table[256];

// Rotation about each axis as a table index, 0..254 after every advance_angles().
extern int angle_x;
extern int angle_y;
extern int angle_z;

// Pixel coordinates of the 8 corners from the latest draw_cube().
extern int projected_x[8];
extern int projected_y[8];

// The part of a surface that a line may touch: x in 0..width-1, y in 0..height-1.
struct Clip {
    int width;
    int height;
};

void build_trig_tables();  // once, before the first draw_cube()

// Projects the corners at the current angles and draws the edges: size scales the corners
// (10 units a half side), grey is written into all three colour bytes, thickness copies of
// every edge are drawn, each one pixel lower than the one before.
void draw_cube(trelk::BaseSurface& surface, int x_offset, int y_offset, int z_offset, int size,
               int grey, int thickness);
// The first half of draw_cube(): the corners' places at the current angles
void project_cube(int x_offset, int y_offset, int z_offset, int size);

// Adds the steps to the angles; an angle of 255 or more becomes 0, a negative one is brought
// into 0..255 first.
void advance_angles(int step_x, int step_y, int step_z);

// The projected edges, thickness times (asks the surface's size once when it draws anything).
// Copies that lie wholly above or below the surface are skipped, so the work grows with the
// pixels that land inside, not with the thickness asked for.
// On the object layer's own surfaces the pixel step is bound to their operations at compile time
// (the same calls, inlined); any other surface is called through its virtual operations.
void draw_cube_edges(trelk::BaseSurface& surface, int grey, int thickness);
// The same edges stored straight into width x height pixels that the caller holds locked
void draw_cube_edges_locked(std::uint32_t* pixels, int width, int height, int grey, int thickness);

// A line with both end points, by the error-term rule; asks the surface's size once.
void draw_line(trelk::BaseSurface& surface, int x1, int y1, int x2, int y2, int grey);
// The same line, kept inside clip (coordinates wide enough for offset copies of any line).
void draw_line(trelk::BaseSurface& surface, long long x1, long long y1, long long x2, long long y2,
               int grey, const Clip& clip);

int sign_of(long long value);  // 1 above 0, -1 below 0, 0 for 0

// floor((a * b + c) / d), exactly, for a, b >= 0, d > 0 and a * b + c >= 0 (the remainder too,
// when asked), saturated at LLONG_MAX; with the compiler's 128-bit integers where it has them,
// else multiply_add_divide_portable, which gives the same (tests compare the two)
long long multiply_add_divide(long long a, long long b, long long c, long long d,
                              long long* remainder);
long long multiply_add_divide_portable(long long a, long long b, long long c, long long d,
                                       long long* remainder);

#endif
