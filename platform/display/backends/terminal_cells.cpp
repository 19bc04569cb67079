// The cell encoder: the picture sampled into half-block cells, and the bytes that rewrite only
// the cells that changed. Fewest bytes where it is cheap to know: a cursor move only when the
// next changed cell is not where the cursor already is (forward on the same row, absolute
// otherwise), a colour only when it differs from the one in effect, and a cell of one colour
// drawn as a space on that background, or a full block when it is already the foreground.
#include "platform/display/backends/terminal_cells.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace display {
namespace {

constexpr std::uint32_t unknown_color = 0xffffffffu;  // no colour the terminal is given

// The bytes one cell can take at most: an absolute move with two four-digit numbers, both
// colours in direct form, and a three-byte character
constexpr std::size_t max_cell_bytes = 12 + 36 + 3;
constexpr char clear_screen[] = "\x1b[m\x1b[2J";  // default colours first: they fill the screen

const char upper_half[] = "\xe2\x96\x80";  // U+2580
const char full_block[] = "\xe2\x96\x88";  // U+2588

// The levels of the palette's colour cube
const int cube_levels[6] = {0, 95, 135, 175, 215, 255};

// A colour in OKLab, a space where distances follow how different colours look
struct Lab {
    float l, a, b;
};

float linear(int channel) {
    const float c = float(channel) / 255.0f;
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

Lab oklab(int red, int green, int blue) {
    const float r = linear(red), g = linear(green), b = linear(blue);
    const float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
    const float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
    const float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
    return Lab{0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
               1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
               0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

// The 240 entries matched against: the cube (16 to 231) and the grey ramp (232 to 255)
struct PaletteLab {
    Lab entry[240];
    float chroma[240];
    PaletteLab() {
        for (int i = 0; i < 216; ++i)
            entry[i] = oklab(cube_levels[i / 36], cube_levels[i / 6 % 6], cube_levels[i % 6]);
        for (int i = 0; i < 24; ++i) entry[216 + i] = oklab(8 + 10 * i, 8 + 10 * i, 8 + 10 * i);
        for (int i = 0; i < 240; ++i)
            chroma[i] = std::sqrt(entry[i].a * entry[i].a + entry[i].b * entry[i].b);
    }
};

// Decision, from looking at the demo's frames mapped several ways: the distance in OKLab with
// its colour part split into chroma (saturation) and hue, weighted 1 for lightness, 2 for hue,
// and for chroma 1 when the entry is more saturated but 6 when it is less. The palette has few
// dark or muted colours, and by plain distance a dark green field, a navy sky or a dusk orange
// are nearest to a grey; the eye forgives a cell somewhat lighter or more saturated sooner than
// a green field gone grey.
int nearest_entry(int red, int green, int blue) {
    static const PaletteLab palette;
    const Lab c = oklab(red, green, blue);
    const float chroma = std::sqrt(c.a * c.a + c.b * c.b);
    int best = 0;
    float best_distance = 1e30f;
    for (int i = 0; i < 240; ++i) {
        const Lab& p = palette.entry[i];
        const float dl = c.l - p.l, da = c.a - p.a, db = c.b - p.b;
        const float dc = chroma - palette.chroma[i];
        const float hue = std::max(0.0f, da * da + db * db - dc * dc);
        const float distance = dl * dl + (dc > 0 ? 6.0f : 1.0f) * dc * dc + 2.0f * hue;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return 16 + best;
}

// The palette index of every colour with 5 bits a channel (32 KB, made once on first use):
// what sampling looks up. A channel value v falls in step (v * 31 + 127) / 255, whose colour
// is step * 255 / 31, so black and white stay exact.
constexpr int table_bits = 5, table_steps = 1 << table_bits;

struct PaletteTable {
    std::uint8_t step[256];  // a channel value's step
    std::uint8_t index[table_steps * table_steps * table_steps];
    PaletteTable() {
        for (int v = 0; v < 256; ++v) step[v] = std::uint8_t((v * 31 + 127) / 255);
        int value[table_steps];
        for (int q = 0; q < table_steps; ++q) value[q] = (q * 255 + 15) / 31;
        for (int r = 0; r < table_steps; ++r) {
            for (int g = 0; g < table_steps; ++g) {
                for (int b = 0; b < table_steps; ++b) {
                    index[(r << 2 * table_bits) | (g << table_bits) | b] =
                        std::uint8_t(nearest_entry(value[r], value[g], value[b]));
                }
            }
        }
    }
};

const PaletteTable& palette_table() {
    static const PaletteTable table;
    return table;
}

// Ordered dithering: a 4 x 4 Bayer matrix of offsets from -9 to 9 added to each channel
// before the look-up, by the pixel's place in the scaled picture. Decision, from looking at
// the demo in a 256-colour terminal: it breaks the sky's bands and the grass's edges into a
// fine even texture, where the nearest colour alone shows broad stripes; the offsets are small
// enough that a colour of the palette itself (pure red, white) is never dithered away.
const int dither_offset[4][4] = {{-9, 1, -7, 3}, {5, -4, 8, -2}, {-5, 4, -8, 2}, {9, -1, 7, -3}};

// The palette index of a pixel at (x, y) of the scaled picture, dithered
inline std::uint32_t dithered_index(const PaletteTable& table, std::uint32_t xrgb, int x, int y) {
    const int offset = dither_offset[y & 3][x & 3];
    const auto step = [&](int channel) {
        return int(table.step[std::min(255, std::max(0, channel + offset))]);
    };
    const int r = step(int(xrgb >> 16 & 0xff)), g = step(int(xrgb >> 8 & 0xff)),
              b = step(int(xrgb & 0xff));
    return table.index[(r << 2 * table_bits) | (g << table_bits) | b];
}

}  // namespace

int terminal_palette_index(std::uint32_t rgb) {
    return nearest_entry(int(rgb >> 16 & 0xff), int(rgb >> 8 & 0xff), int(rgb & 0xff));
}

CellLayout fit_picture(int width, int height, int columns, int rows) {
    CellLayout layout;
    layout.columns = std::max(0, std::min(columns, max_terminal_side));
    layout.rows = std::max(0, std::min(rows, max_terminal_side));
    if (width <= 0 || height <= 0) return layout;
    // Pixels are square when a cell is one pixel wide and two tall
    long long w = 0, h = 0;
    if (1LL * layout.columns * height <= 2LL * layout.rows * width) {
        w = layout.columns;
        h = 1LL * layout.columns * height / width;
    } else {
        h = 2LL * layout.rows;
        w = 2LL * layout.rows * width / height;
    }
    if (w <= 0 || h <= 0) return layout;
    layout.width = int(w);
    layout.height = int(h);
    layout.left = (layout.columns - layout.width) / 2;
    layout.top = (layout.rows - (layout.height + 1) / 2) / 2;
    return layout;
}

bool cell_pixel(const CellLayout& layout, int width, int height, int column, int row, int* x,
                int* y) {
    *x = *y = 0;
    if (layout.width <= 0 || layout.height <= 0) return false;
    // A cell is one scaled pixel wide and two tall: its centre is at scaled x + 1/2, y + 1, in
    // halves of a scaled pixel 2x + 1, 2y + 2
    const auto floor_div = [](long long a, long long b) { return a / b - (a % b < 0); };
    const long long across = column - layout.left, down = 2LL * (row - layout.top);
    *x = int(floor_div((2 * across + 1) * width, 2LL * layout.width));
    // (the last row of a picture of odd height shows a pixel in its upper half alone: its centre)
    long long half_rows = 2 * down + 2;
    if (down >= 0 && down < layout.height) half_rows = std::min(half_rows, 2LL * layout.height - 1);
    *y = int(floor_div(half_rows * height, 2LL * layout.height));
    return across >= 0 && across < layout.width && down >= 0 && down < layout.height &&
           *x < width && *y < height;
}

void TerminalCells::layout(const CellLayout& layout, int width, int height, TerminalColors colors) {
    layout_ = layout;
    colors_ = colors;
    image_width_ = width;
    image_height_ = height;
    const int cell_rows = (layout.height + 1) / 2;
    const std::size_t cells = std::size_t(layout.width) * std::size_t(cell_rows);
    source_x_.resize(std::size_t(layout.width));
    source_y_.resize(std::size_t(cell_rows) * 2);
    for (int x = 0; x < layout.width; ++x) {
        source_x_[std::size_t(x)] = int((2LL * x + 1) * width / (2LL * layout.width));
    }
    for (int y = 0; y < layout.height; ++y) {
        source_y_[std::size_t(y)] = int((2LL * y + 1) * height / (2LL * layout.height));
    }
    if (layout.height % 2) source_y_.back() = -1;  // the last row's lower half: no pixel
    wanted_.assign(cells * 2, cell_color(0));
    shown_.resize(cells * 2);
    // Besides: the margins, two moves and an erase a row at most
    out_.resize(cells * max_cell_bytes + sizeof clear_screen + std::size_t(layout.rows) * 32 + 8);
    end_ = out_.data();
    forget();
}

void TerminalCells::forget() {
    std::fill(shown_.begin(), shown_.end(), unknown_color);
    clear_ = true;
}

void TerminalCells::repaint() {
    std::fill(shown_.begin(), shown_.end(), unknown_color);
    margins_ = true;
}

// Every row above and below the picture erased whole, and those beside it on the left and the
// right; the cursor's place is counted as move_to() leaves it
void TerminalCells::erase_margins() {
    put("\x1b[m", 3);
    foreground_ = background_ = unknown_color;
    const int first = layout_.top, last = layout_.top + (layout_.height + 1) / 2;
    for (int row = 0; row < layout_.rows; ++row) {
        if (row < first || row >= last || layout_.width == 0) {
            move_to(0, row);
            put("\x1b[2K", 4);
            continue;
        }
        if (layout_.left > 0) {
            move_to(layout_.left - 1, row);
            put("\x1b[1K", 4);
        }
        if (layout_.left + layout_.width < layout_.columns) {
            move_to(layout_.left + layout_.width, row);
            put("\x1b[K", 3);
        }
    }
}

std::uint32_t TerminalCells::cell_color(std::uint32_t xrgb) const {
    const std::uint32_t rgb = xrgb & 0xffffff;
    return colors_ == TerminalColors::direct ? rgb : std::uint32_t(terminal_palette_index(rgb));
}

void TerminalCells::sample(const std::uint32_t* pixels, int pitch) {
    const int cell_rows = (layout_.height + 1) / 2;
    std::uint32_t* cell = wanted_.data();
    const std::uint32_t black = cell_color(0);
    const PaletteTable* table = colors_ == TerminalColors::indexed ? &palette_table() : nullptr;
    for (int row = 0; row < cell_rows; ++row) {
        const std::uint32_t* upper =
            pixels + std::size_t(source_y_[std::size_t(2 * row)]) * std::size_t(pitch);
        const int lower_y = source_y_[std::size_t(2 * row + 1)];
        const std::uint32_t* lower =
            lower_y < 0 ? nullptr : pixels + std::size_t(lower_y) * std::size_t(pitch);
        if (table) {
            for (int column = 0; column < layout_.width; ++column) {
                const int x = source_x_[std::size_t(column)];
                *cell++ = dithered_index(*table, upper[x], column, 2 * row);
                *cell++ = lower ? dithered_index(*table, lower[x], column, 2 * row + 1) : black;
            }
            continue;
        }
        for (int column = 0; column < layout_.width; ++column) {
            const int x = source_x_[std::size_t(column)];
            *cell++ = upper[x] & 0xffffff;
            *cell++ = lower ? lower[x] & 0xffffff : black;
        }
    }
}

void TerminalCells::set(int column, int row, std::uint32_t top, std::uint32_t bottom) {
    const int cell_rows = (layout_.height + 1) / 2;
    if (column < 0 || column >= layout_.width || row < 0 || row >= cell_rows) return;
    const std::size_t i = (std::size_t(row) * std::size_t(layout_.width) + std::size_t(column)) * 2;
    wanted_[i] = top;
    wanted_[i + 1] = bottom;
}

void TerminalCells::put(const char* text, int length) {
    std::memcpy(end_, text, std::size_t(length));
    end_ += length;
}

void TerminalCells::put_number(unsigned value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    while (n) *end_++ = digits[--n];
}

// One colour's parameters: 38 (foreground) or 48 (background), then 2;r;g;b or 5;n
void TerminalCells::put_color(int ground, std::uint32_t color) {
    put_number(unsigned(ground));
    if (colors_ == TerminalColors::direct) {
        put(";2;", 3);
        put_number(color >> 16 & 0xff);
        *end_++ = ';';
        put_number(color >> 8 & 0xff);
        *end_++ = ';';
        put_number(color & 0xff);
    } else {
        put(";5;", 3);
        put_number(color);
    }
}

void TerminalCells::set_colors(std::uint32_t foreground, std::uint32_t background) {
    const bool new_foreground = foreground != foreground_;
    const bool new_background = background != background_;
    if (!new_foreground && !new_background) return;
    put("\x1b[", 2);
    if (new_foreground) put_color(38, foreground);
    if (new_foreground && new_background) *end_++ = ';';
    if (new_background) put_color(48, background);
    *end_++ = 'm';
    foreground_ = foreground;
    background_ = background;
}

void TerminalCells::move_to(int column, int row) {
    if (row == cursor_row_ && column == cursor_column_) return;
    put("\x1b[", 2);
    if (row == cursor_row_ && cursor_column_ >= 0 && cursor_column_ < column) {
        if (column - cursor_column_ > 1) put_number(unsigned(column - cursor_column_));
        *end_++ = 'C';
    } else {
        put_number(unsigned(row + 1));
        *end_++ = ';';
        put_number(unsigned(column + 1));
        *end_++ = 'H';
    }
    cursor_column_ = column;
    cursor_row_ = row;
}

std::size_t TerminalCells::encode() {
    end_ = out_.data();
    // Each frame starts from nothing known about the cursor and the colours: whatever else
    // was written to the terminal since costs one move and one colour, not a garbled frame
    cursor_column_ = cursor_row_ = -1;
    foreground_ = background_ = unknown_color;
    if (clear_) {
        put(clear_screen, int(sizeof clear_screen - 1));
    } else if (margins_) {
        erase_margins();
    }
    clear_ = margins_ = false;
    const int cell_rows = (layout_.height + 1) / 2;
    const std::uint32_t* want = wanted_.data();
    std::uint32_t* shown = shown_.data();
    for (int row = 0; row < cell_rows; ++row) {
        for (int column = 0; column < layout_.width; ++column, want += 2, shown += 2) {
            const std::uint32_t top = want[0], bottom = want[1];
            if (top == shown[0] && bottom == shown[1]) continue;
            shown[0] = top;
            shown[1] = bottom;
            move_to(layout_.left + column, layout_.top + row);
            if (top != bottom) {
                set_colors(top, bottom);
                put(upper_half, 3);
            } else if (background_ == top) {
                *end_++ = ' ';
            } else if (foreground_ == top) {
                put(full_block, 3);
            } else {
                set_colors(foreground_, top);
                *end_++ = ' ';
            }
            // At the last column the cursor waits to wrap: its place is not worth guessing
            ++cursor_column_;
            if (cursor_column_ >= layout_.columns) cursor_column_ = cursor_row_ = -1;
        }
    }
    return std::size_t(end_ - out_.data());
}

}  // namespace display
