// Draws our picture one pixel at a time from closed-form shapes, back to front: sky, sun,
// hills, field, flag pole, flag, corner markers. Colours are computed in doubles and rounded
// once, so the picture is the same bytes on every run.
#include "assets/picture.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace picture {
namespace {

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scale(Colour c, double k) { return {c.r * k, c.g * k, c.b * k}; }

constexpr double pi = 3.14159265358979323846;

// Flag: its cloth spans x 96..264 and, at rest, y 40..132; it waves up and down along x
constexpr double flag_left = 96, flag_right = 264, flag_top = 40, flag_bottom = 132;
constexpr double pole_x = 90;

double wave(double x) {
    return 4.0 * std::sin((x - flag_left) / 22.0) * (x - flag_left) / (flag_right - flag_left);
}

Colour scene(double x, double y) {
    // Sky: deep navy at the top to a warm orange at the horizon (y = 140)
    Colour c = mix({18, 22, 70}, {240, 150, 80}, y / 140.0);

    // Sun, upper right, with a soft glow
    const double sun = std::hypot(x - 282, y - 34);
    if (sun < 20)
        c = {250, 214, 90};
    else if (sun < 40)
        c = mix({250, 200, 110}, c, (sun - 20) / 20.0);

    // Hills and field: the ground line rolls between y 130 and 150
    const double ground = 140 + 9 * std::sin(x / 37.0) + 4 * std::sin(x / 13.0 + 1.0);
    if (y >= ground) {
        c = mix({70, 150, 60}, {20, 70, 30}, (y - ground) / 40.0);
        // Furrows in the field below y 170, leaning so they show the scaling
        if (y >= 170 && std::fmod(x + (y - 170) * 1.5, 24.0) < 12.0) c = scale(c, 0.75);
    }

    // Flag pole from the top of the flag down into the ground, shaded as a cylinder
    if (x >= pole_x - 3 && x < pole_x + 3 && y >= flag_top - 6 && y < ground + 6) {
        const double shade = 0.6 + 0.4 * std::cos((x - pole_x) / 3.0 * pi / 2);
        c = scale({200, 190, 170}, shade);
    }
    if (std::hypot(x - pole_x, y - (flag_top - 8)) < 4) c = {230, 200, 60};  // the finial

    // Flag cloth: teal with a gold cross whose upright stands nearer the pole
    if (x >= flag_left && x < flag_right) {
        const double top = flag_top + wave(x), bottom = flag_bottom + wave(x);
        if (y >= top && y < bottom) {
            const double u = x - flag_left, v = y - top;
            const bool cross = (u >= 46 && u < 70) || (v >= 34 && v < 58);
            Colour cloth = cross ? Colour{236, 186, 40} : Colour{20, 130, 140};
            // Light and shadow across the folds: the slope of the wave decides the shade
            const double slope = std::cos((x - flag_left) / 22.0);
            cloth = scale(cloth, 0.85 + 0.15 * slope);
            c = cloth;
        }
    }

    // Corner markers: red triangle at the top left, blue square at the bottom left
    if (x + y < 24) c = {220, 30, 30};
    if (x < 16 && y >= height - 16) c = {30, 60, 220};
    return c;
}

uint8_t channel(double v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, double(brightest))));
}

}  // namespace

Rgb pixel(int x, int y) {
    if (x < 0 || x >= width || y < 0 || y >= height)
        throw std::out_of_range("picture pixel outside 320x200");
    const Colour c = scene(x + 0.5, y + 0.5);
    return {channel(c.r), channel(c.g), channel(c.b)};
}

std::vector<uint8_t> tga_file() {
    std::vector<uint8_t> out;
    out.reserve(18 + width * height * 3);
    const uint8_t header[18] = {
        0,  // no image ID
        0,  // no colour map
        2,  // uncompressed true-colour
        0,
        0,
        0,
        0,
        0,  // colour map origin, length and entry size: unused
        0,
        0,
        0,
        0,  // x and y origin
        width & 0xff,
        width >> 8,  // width
        height & 0xff,
        height >> 8,  // height
        24,           // bits per pixel
        0,            // descriptor: no alpha, rows bottom first
    };
    out.insert(out.end(), header, header + 18);
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const Rgb p = pixel(x, y);
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
    return out;
}

}  // namespace picture
