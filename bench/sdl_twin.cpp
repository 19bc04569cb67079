#include "sdl_twin.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

SDL_Surface* make_surface(int width, int height) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
    if (!s) throw std::runtime_error(SDL_GetError());
    return s;
}

const float corners[8][3] = {{10, 10, 10},  {10, 10, -10},  {10, -10, 10},  {10, -10, -10},
                             {-10, 10, 10}, {-10, 10, -10}, {-10, -10, 10}, {-10, -10, -10}};
const int edges[12][2] = {{0, 1}, {0, 4}, {4, 5}, {5, 1}, {3, 2}, {3, 7},
                          {7, 6}, {2, 6}, {0, 2}, {1, 3}, {4, 6}, {5, 7}};

int sign(int v) { return (v > 0) - (v < 0); }

// Error-term line into a locked 32-bit surface, clipped per pixel.
void line(SDL_Surface* s, bool lock_per_pixel, int x1, int y1, int x2, int y2, Uint32 value) {
    const int dx = x2 - x1, dy = y2 - y1, sx = sign(dx), sy = sign(dy);
    const bool x_major = std::abs(dx) > std::abs(dy);
    const int length = x_major ? std::abs(dx) : std::abs(dy);
    const int shorter = x_major ? std::abs(dy) : std::abs(dx);
    int err = length / 2, x = x1, y = y1;
    for (int i = 0; i <= length; ++i) {
        if (lock_per_pixel) SDL_LockSurface(s);
        const int w = s->w;
        if (x >= 0 && y >= 0 && x < w && y < s->h)
            static_cast<Uint32*>(s->pixels)[x + y * w] = value;
        if (lock_per_pixel) SDL_UnlockSurface(s);
        err += shorter;
        if (err >= length) {
            err -= length;
            x += sx;
            y += sy;
        } else if (x_major) {
            x += sx;
        } else {
            y += sy;
        }
    }
}

}  // namespace

SdlTwin::SdlTwin(int width, int height)
    : screen(make_surface(width, height)),
      picture(make_surface(320, 200)),
      window(make_surface(width, height)) {
    // Any picture will do: the cost of the blits does not depend on the colours.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            static_cast<Uint32*>(picture->pixels)[x + y * 320] = Uint32(x * 0x10101 + y * 0x100);
}

SdlTwin::~SdlTwin() {
    SDL_FreeSurface(window);
    SDL_FreeSurface(picture);
    SDL_FreeSurface(screen);
}

void SdlTwin::frame(bool lock_per_pixel) {
    SDL_FillRect(screen, nullptr, 0);
    scale_picture();
    cube(lock_per_pixel);
    SDL_BlitSurface(screen, nullptr, window, nullptr);
}

void SdlTwin::scale_picture() {
    random_state = random_state * 214013u + 2531011u;
    const int r1 = int(random_state >> 16) & 0x7fff;
    random_state = random_state * 214013u + 2531011u;
    const int r2 = int(random_state >> 16) & 0x7fff;
    SDL_Rect destination{r2 % 10 - 10, r1 % 10 - 10, 330 - r2 % 10, 210 - r1 % 10};
    SDL_BlitScaled(picture, nullptr, screen, &destination);
}

void SdlTwin::cube(bool lock_per_pixel) {
    const double step = 3.141592654 / 128;
    const double cx = std::cos(angle_x * step), sx = std::sin(angle_x * step);
    const double cy = std::cos(angle_y * step), sy = std::sin(angle_y * step);
    const double cz = std::cos(angle_z * step), sz = std::sin(angle_z * step);
    int px[8], py[8];
    for (int v = 0; v < 8; ++v) {
        const double x0 = 5 * corners[v][0], y0 = 5 * corners[v][1], z0 = 5 * corners[v][2];
        const double x1 = x0 * cy + z0 * sy, z1 = -sy * x0 + z0 * cy;
        const double y2 = y0 * cx - z1 * sx, z2 = y0 * sx + z1 * cx;
        const double x3 = x1 * cz - y2 * sz, y3 = x1 * sz + y2 * cz;
        const double d = z2 + 50 + 256;
        px[v] = int(x3 * 256 / d) + 160;
        py[v] = int((-20 - y3) * 256 / d) + 100;
    }
    if (!lock_per_pixel) SDL_LockSurface(screen);
    for (int i = 0; i < 10; ++i)
        for (const auto& e : edges)
            line(screen, lock_per_pixel, px[e[0]], py[e[0]] + i, px[e[1]], py[e[1]] + i, 0xffffff);
    if (!lock_per_pixel) SDL_UnlockSurface(screen);
    angle_x = (angle_x + 2) % 255;
    angle_y = (angle_y + 1) % 255;
    angle_z = (angle_z + 2) % 255;
}
