// The wireframe cube: projections of known frames, the error-term lines, the per-pixel call
// pattern, the thickness copies, angle wrapping, and what happens at and beyond the surface's
// edges (pixels outside are skipped, lines are clipped exactly, corners behind the viewer).
#include "demo/cube.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/demo_memory_surface.h"

namespace {

constexpr std::uint32_t white = 0x00FFFFFF;

// The demo's own arguments
void draw_demo_cube(trelk::BaseSurface& surface, int thickness = 10) {
    draw_cube(surface, 0, -20, 50, 5, 255, thickness);
}

std::vector<int> xs() { return std::vector<int>(projected_x, projected_x + 8); }
std::vector<int> ys() { return std::vector<int>(projected_y, projected_y + 8); }

std::vector<Store> all_stores(const MemorySurface& s) {
    std::vector<Store> out;
    for (const auto& per_lock : s.stores) out.insert(out.end(), per_lock.begin(), per_lock.end());
    return out;
}

class Cube : public ::testing::Test {
protected:
    void SetUp() override {
        build_trig_tables();
        angle_x = angle_y = angle_z = 0;
    }
};

TEST_F(Cube, TablesKeepTheTinyValuesNearTheZeros) {
    // The constant is 3.141592654, a little above pi: these entries are not 0.
    EXPECT_LT(cos_table[64], 0.0f);
    EXPECT_NEAR(cos_table[64], -2.051e-10, 0.001e-10);
    EXPECT_NEAR(sin_table[128], -4.102e-10, 0.001e-10);
    EXPECT_NEAR(cos_table[192], 6.153e-10, 0.001e-10);
    EXPECT_EQ(sin_table[64], 1.0f);
    EXPECT_EQ(cos_table[128], -1.0f);
    EXPECT_EQ(cos_table[0], 1.0f);
    EXPECT_EQ(sin_table[0], 0.0f);
}

TEST_F(Cube, ProjectsTheFirstTwoFrames) {
    MemorySurface surface(320, 200);
    draw_demo_cube(surface);
    EXPECT_EQ(xs(), (std::vector<int>{195, 210, 195, 210, 125, 110, 125, 110}));
    EXPECT_EQ(ys(), (std::vector<int>{50, 30, 121, 130, 50, 30, 121, 130}));

    advance_angles(2, 1, 2);
    EXPECT_EQ(angle_x, 2);
    EXPECT_EQ(angle_y, 1);
    EXPECT_EQ(angle_z, 2);
    draw_demo_cube(surface);
    EXPECT_EQ(xs(), (std::vector<int>{194, 204, 198, 210, 125, 109, 128, 112}));
    EXPECT_EQ(ys(), (std::vector<int>{51, 27, 121, 124, 55, 33, 124, 129}));
}

// 50 * cos_table[64] + 50 * 1.0 lies just below 50 and is cut to 49.
TEST_F(Cube, TinyTableEntriesChangeCorners) {
    angle_y = 64;
    MemorySurface surface(320, 200);
    draw_demo_cube(surface, 0);
    EXPECT_EQ(xs(), (std::vector<int>{209, 111, 209, 111, 196, 125, 196, 125}));
    EXPECT_EQ(ys(), (std::vector<int>{30, 31, 130, 129, 50, 50, 121, 121}));
}

TEST_F(Cube, FirstFrameEdgeLengthsAndCallPattern) {
    MemorySurface projection(320, 200);
    draw_demo_cube(projection, 0);
    const std::vector<int> expected{21, 71, 21, 101, 16, 101, 16, 71, 72, 101, 72, 101};
    std::vector<int> got;
    for (const auto& edge : cube_edges) {
        MemorySurface one(320, 200);
        draw_line(one, projected_x[edge[0]], projected_y[edge[0]], projected_x[edge[1]],
                  projected_y[edge[1]], 255);
        got.push_back(one.locks);
    }
    EXPECT_EQ(got, expected);

    // 764 pixels at each of the 10 offsets, each one lock, one width asked while locked and
    // one unlock; the size is asked once, before drawing.
    MemorySurface surface(320, 200);
    draw_demo_cube(surface);
    EXPECT_EQ(surface.locks, 7640);
    EXPECT_EQ(surface.unlocks, 7640);
    EXPECT_EQ(surface.widths, 7641);
    EXPECT_EQ(surface.widths_unlocked, 1);
    EXPECT_EQ(surface.heights, 1);
    EXPECT_EQ(surface.faults, 0);
    for (std::uint32_t p : surface.pixels) EXPECT_TRUE(p == 0 || p == white) << std::hex << p;
}

TEST_F(Cube, ThickEdgesAreCopiesOnePixelLower) {
    MemorySurface thin(320, 200);
    draw_demo_cube(thin, 1);
    MemorySurface thick(320, 200);
    draw_demo_cube(thick, 10);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            bool covered = false;
            for (int i = 0; i < 10 && i <= y; ++i) covered = covered || thin.at(x, y - i) == white;
            ASSERT_EQ(thick.at(x, y) == white, covered) << "at (" << x << ", " << y << ")";
        }
    }
}

TEST_F(Cube, ThicknessZeroProjectsButDrawsNothing) {
    angle_x = angle_z = 2;
    angle_y = 1;
    MemorySurface surface(320, 200);
    draw_cube(surface, 0, -20, 50, 5, 255, 0);
    EXPECT_EQ(xs()[1], 204);  // projected at the current angles
    EXPECT_EQ(surface.locks + surface.widths + surface.heights + surface.unlocks, 0);
    draw_cube(surface, 0, -20, 50, 5, 255, -3);
    EXPECT_EQ(surface.locks + surface.widths + surface.heights + surface.unlocks, 0);
}

TEST_F(Cube, AnglesWrapAt255) {
    angle_y = 254;
    angle_x = 254;
    angle_z = 253;
    advance_angles(2, 1, 2);
    EXPECT_EQ(angle_x, 0);
    EXPECT_EQ(angle_y, 0);
    EXPECT_EQ(angle_z, 0);

    advance_angles(2, 1, 2);
    advance_angles(250, 253, 252);
    EXPECT_EQ(angle_x, 252);
    EXPECT_EQ(angle_y, 254);
    EXPECT_EQ(angle_z, 254);

    // A full cycle of the demo's steps: x and z a turn in 128 frames, y in 255.
    angle_x = angle_y = angle_z = 0;
    for (int frame = 0; frame < 128 * 255; ++frame) {
        advance_angles(2, 1, 2);
        ASSERT_TRUE(angle_x >= 0 && angle_x <= 254 && angle_y >= 0 && angle_y <= 254);
        ASSERT_EQ(angle_x, angle_z);
    }
    EXPECT_EQ(angle_x, 0);
    EXPECT_EQ(angle_y, 0);
}

TEST_F(Cube, AnglesOutsideTheTablesWrapModuloAFullTurn) {
    MemorySurface surface(320, 200);
    angle_x = 254;
    angle_y = 44;
    draw_demo_cube(surface, 0);
    const auto x_in_range = xs();
    const auto y_in_range = ys();

    angle_x = -2;
    angle_y = 300;
    draw_demo_cube(surface, 0);
    EXPECT_EQ(xs(), x_in_range);
    EXPECT_EQ(ys(), y_in_range);

    // Negative steps come back into the tables, never to 255.
    angle_x = angle_y = angle_z = 0;
    advance_angles(-2, -1, -257);
    EXPECT_EQ(angle_x, 254);
    EXPECT_EQ(angle_y, 0);  // -1 is 255, a full turn
    EXPECT_EQ(angle_z, 0);
    advance_angles(INT_MIN, INT_MAX, -3);
    EXPECT_EQ(angle_x, 254);  // 254 - 2^31 is 254 modulo 256
    EXPECT_EQ(angle_y, 0);
    EXPECT_EQ(angle_z, 253);
}

// Over every angle combination the demo reaches, the corners stay well inside 320 x 200; a
// sample of whole frames (offsets included) touches only x 86..234, y 7..165.
TEST_F(Cube, DemoFramesStayInsideTheirRegion) {
    MemorySurface projection(320, 200);
    for (int frame = 0; frame < 128 * 255; ++frame) {
        draw_demo_cube(projection, 0);
        for (int v = 0; v < 8; ++v) {
            ASSERT_TRUE(projected_x[v] >= 86 && projected_x[v] <= 234 && projected_y[v] >= 7 &&
                        projected_y[v] <= 156)
                << "frame " << frame << " corner " << v;
        }
        advance_angles(2, 1, 2);
    }
    const std::uint32_t untouched = 0x12345678;
    MemorySurface surface(320, 200, untouched);
    for (int frame = 0; frame < 128 * 255; ++frame) {
        if (frame % 127 == 0) draw_demo_cube(surface);
        advance_angles(2, 1, 2);
    }
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (x < 86 || x > 234 || y < 7 || y > 165) {
                ASSERT_EQ(surface.at(x, y), untouched) << "at (" << x << ", " << y << ")";
            }
        }
    }
}

// ---- lines

std::vector<Store> line(int x1, int y1, int x2, int y2, int grey = 255) {
    MemorySurface s(8, 8);
    s.track = true;
    draw_line(s, x1, y1, x2, y2, grey);
    EXPECT_EQ(s.faults, 0);
    for (const auto& per_lock : s.stores) EXPECT_EQ(per_lock.size(), 1u);  // one store a lock
    return all_stores(s);
}

TEST(CubeLine, FollowsTheErrorTermInOrder) {
    EXPECT_EQ(line(0, 0, 4, 1),
              (std::vector<Store>{
                  {0, 0, white}, {1, 0, white}, {2, 1, white}, {3, 1, white}, {4, 1, white}}));
    // The reverse sets other pixels
    EXPECT_EQ(line(4, 1, 0, 0),
              (std::vector<Store>{
                  {4, 1, white}, {3, 1, white}, {2, 0, white}, {1, 0, white}, {0, 0, white}}));
    EXPECT_EQ(line(0, 0, 5, 2), (std::vector<Store>{{0, 0, white},
                                                    {1, 0, white},
                                                    {2, 1, white},
                                                    {3, 1, white},
                                                    {4, 2, white},
                                                    {5, 2, white}}));
    // Equal lengths are y-major: a pure diagonal
    EXPECT_EQ(line(0, 0, 3, 3),
              (std::vector<Store>{{0, 0, white}, {1, 1, white}, {2, 2, white}, {3, 3, white}}));
    EXPECT_EQ(line(1, 0, 2, 6), (std::vector<Store>{{1, 0, white},
                                                    {1, 1, white},
                                                    {1, 2, white},
                                                    {2, 3, white},
                                                    {2, 4, white},
                                                    {2, 5, white},
                                                    {2, 6, white}}));
}

TEST(CubeLine, OnePointLineIsOnePixelInOneLock) {
    MemorySurface s(8, 8);
    s.track = true;
    draw_line(s, 5, 6, 5, 6, 255);
    EXPECT_EQ(s.locks, 1);
    EXPECT_EQ(s.unlocks, 1);
    EXPECT_EQ(all_stores(s), (std::vector<Store>{{5, 6, white}}));
}

TEST(CubeLine, GreyGoesIntoAllThreeBytesUnmasked) {
    EXPECT_EQ(line(2, 2, 2, 2, 255), (std::vector<Store>{{2, 2, 0x00FFFFFFu}}));
    EXPECT_EQ(line(2, 2, 2, 2, 0x80), (std::vector<Store>{{2, 2, 0x00808080u}}));
    EXPECT_EQ(line(2, 2, 2, 2, 256), (std::vector<Store>{{2, 2, 0x01010100u}}));
}

// A line clipped to a small surface sets exactly the pixels that the whole line sets there:
// the same line moved into the middle of a large surface is the reference (the rule depends
// only on the differences of the end points).
TEST(CubeLine, ClippingKeepsThePixelsOfTheWholeLine) {
    constexpr int W = 21, H = 13, shift = 150, big = 400;
    std::mt19937 random(5);
    std::uniform_int_distribution<int> coordinate(-120, 140);
    for (int n = 0; n < 400; ++n) {
        const int x1 = coordinate(random), y1 = coordinate(random);
        const int x2 = coordinate(random), y2 = coordinate(random);
        MemorySurface small(W, H);
        draw_line(small, x1, y1, x2, y2, 255);
        MemorySurface whole(big, big);
        draw_line(whole, x1 + shift, y1 + shift, x2 + shift, y2 + shift, 255);

        int inside = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const bool expected = whole.at(x + shift, y + shift) == white;
                inside += expected;
                ASSERT_EQ(small.at(x, y) == white, expected)
                    << "line (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ") at (" << x
                    << ", " << y << ")";
            }
        }
        // A line never sets a pixel twice, so every lock stored one pixel inside.
        ASSERT_EQ(small.locks, inside);
        ASSERT_EQ(small.unlocks, inside);
    }
}

TEST(CubeLine, ExtremeEndPointsAreClippedNotWalked) {
    MemorySurface row(16, 4);
    draw_line(row, INT_MIN, 2, INT_MAX, 2, 255);
    EXPECT_EQ(row.locks, 16);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(row.at(x, 2), white);

    MemorySurface diagonal(16, 4);
    draw_line(diagonal, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 255);
    EXPECT_EQ(diagonal.locks, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(diagonal.at(i, i), white);

    MemorySurface none(16, 4);
    draw_line(none, INT_MIN, INT_MAX, INT_MAX, INT_MAX - 1, 255);
    draw_line(none, -5, -1, 30, -1, 255);
    draw_line(none, 16, 0, 16, 3, 255);
    EXPECT_EQ(none.locks, 0);

    MemorySurface empty(0, 0);
    draw_line(empty, 0, 0, 3, 3, 255);
    EXPECT_EQ(empty.locks, 0);
}

// ---- the cube at and beyond the edges

TEST_F(Cube, PixelsOutsideTheSurfaceAreSkipped) {
    MemorySurface whole(320, 200);
    draw_demo_cube(whole);
    MemorySurface part(170, 90);  // cuts the cube on the right and at the bottom
    draw_demo_cube(part);
    int inside = 0;
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 170; ++x) {
            ASSERT_EQ(part.at(x, y), whole.at(x, y)) << "at (" << x << ", " << y << ")";
            inside += part.at(x, y) == white;
        }
    }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(part.locks, part.unlocks);
    EXPECT_LT(part.locks, whole.locks);

    // Moved off the left and the top: nothing lands outside the buffer (the sanitizers watch)
    MemorySurface corner(40, 30);
    draw_cube(corner, 400, -400, 0, 5, 255, 10);
    EXPECT_LT(projected_x[4], 0);
    EXPECT_LT(projected_y[0], 0);
    EXPECT_EQ(corner.faults, 0);
}

TEST_F(Cube, CornersAtOrBehindTheViewerLeaveTheirEdgesOut) {
    // With z offset -206 the far corners (z +10) have divisor 100 and the near ones 0.
    MemorySurface surface(320, 200);
    draw_cube(surface, 0, -20, -206, 5, 255, 1);
    MemorySurface face(320, 200);
    const int far_edges[4][2] = {{0, 4}, {0, 2}, {4, 6}, {2, 6}};
    for (const auto& e : far_edges) {
        draw_line(face, projected_x[e[0]], projected_y[e[0]], projected_x[e[1]], projected_y[e[1]],
                  255);
    }
    EXPECT_EQ(surface.pixels, face.pixels);
    EXPECT_GT(surface.locks, 0);

    MemorySurface nothing(320, 200);
    draw_cube(nothing, 0, -20, -1000, 5, 255, 10);
    EXPECT_EQ(nothing.locks, 0);
}

// The thick cube is every edge drawn again one row lower per unit of thickness: drawn as the
// definition says, line by line with draw_line, it gives the same pixels and as many locks as
// draw_cube, at random angles, places, sizes and thicknesses on surfaces of several shapes,
// lines crossing every edge of them included
TEST_F(Cube, ThickCubesEqualTheirLinesDrawnOneByOne) {
    std::mt19937 random(31);
    const int sizes[][2] = {{320, 200}, {64, 48}, {7, 300}, {300, 5}};
    for (int round = 0; round < 400; ++round) {
        const int width = sizes[round % 4][0], height = sizes[round % 4][1];
        angle_x = int(random() % 256);
        angle_y = int(random() % 256);
        angle_z = int(random() % 256);
        const int x_offset = int(random() % 601) - 300, y_offset = int(random() % 601) - 300;
        // In front of the viewer: every corner projects, so every edge is drawn
        const int z_offset = int(random() % 401), size = 1 + int(random() % 12);
        const int thickness = round % 50 == 0 ? 1000 : 1 + int(random() % 40);
        MemorySurface cube(width, height);
        draw_cube(cube, x_offset, y_offset, z_offset, size, 255, thickness);
        MemorySurface lines(width, height);
        for (int i = 0; i < thickness; ++i) {
            for (const auto& edge : cube_edges) {
                draw_line(lines, projected_x[edge[0]], projected_y[edge[0]] + i,
                          projected_x[edge[1]], projected_y[edge[1]] + i, 255);
            }
        }
        ASSERT_EQ(cube.pixels, lines.pixels) << "round " << round;
        ASSERT_EQ(cube.locks, lines.locks) << "round " << round;
    }
}

TEST_F(Cube, AbsurdArgumentsEndQuicklyAndSafely) {
    // Sizes and offsets at the ends of the range: no overflow, no division by zero.
    MemorySurface surface(64, 48);
    draw_cube(surface, INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MAX, 100);
    draw_cube(surface, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MIN, 100);
    draw_cube(surface, 0, 0, 0, INT_MAX, 255, 100);
    draw_cube(surface, 0, 0, -256, 0, 255, 100);  // every divisor exactly 0
    // A huge thickness draws only the copies that can still reach the surface.
    draw_cube(surface, 0, -20, 50, 5, 255, INT_MAX);
    EXPECT_EQ(surface.faults, 0);
    EXPECT_EQ(surface.locks, surface.unlocks);
}

}  // namespace

// The line clipping's exact arithmetic: the portable path (compilers without 128-bit integers)
// gives what the 128-bit one gives, for products far beyond 64 bits and sums near zero
TEST(CubeArithmetic, PortableMultiplyAddDivideMatches) {
    std::mt19937_64 random(31);
    const long long edges[] = {0, 1, 2, 3, 4294967295LL, 4294967296LL, 8589934593LL, LLONG_MAX};
    std::vector<long long> values(std::begin(edges), std::end(edges));
    for (int i = 0; i < 150; ++i)
        values.push_back(static_cast<long long>(random() >> (1 + random() % 63)));
    int checked = 0;
    for (long long a : values) {
        for (long long b : values) {
            for (long long d : {1LL, 2LL, 7LL, 4294967311LL, LLONG_MAX,
                                static_cast<long long>(random() >> 1) | 1}) {
                __extension__ typedef __int128 wide;
                const wide product = static_cast<wide>(a) * b;
                // c from -(a * b) (a sum of 0) to 2^62, keeping a * b + c >= 0
                for (wide c : {wide(0), wide(d - 1), -product, -product + 1, wide(1) << 62,
                               product > (wide(1) << 62) ? -(wide(1) << 62) : -product / 2}) {
                    if (c < LLONG_MIN || c > LLONG_MAX || product + c < 0) continue;
                    long long r = -1, pr = -2;
                    const long long q = multiply_add_divide(a, b, (long long)c, d, &r);
                    const long long pq = multiply_add_divide_portable(a, b, (long long)c, d, &pr);
                    ASSERT_EQ(pq, q) << a << " * " << b << " + " << (long long)c << " / " << d;
                    if (q < LLONG_MAX) {
                        ASSERT_EQ(pr, r) << a << " * " << b << " + " << (long long)c << " % " << d;
                    }
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 50000);
}
