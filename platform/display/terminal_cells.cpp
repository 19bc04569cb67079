// The cell encoder: the picture sampled into half-block cells, and the bytes that rewrite only
// the cells that changed. Fewest bytes where it is cheap to know: a cursor move only when the
// next changed cell is not where the cursor already is (forward on the same row, absolute
// otherwise), a colour only when it differs from the one in effect, and a cell of one colour
// drawn as a space on that background, or a full block when it is already the foreground.
#include "platform/display/terminal_cells.h"

#include <algorithm>
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

// The levels of the palette's colour cube, and the nearest of them to a channel value
const int cube_levels[6] = {0, 95, 135, 175, 215, 255};

int nearest_level(int value) {
    if (value < 48) return 0;
    if (value < 115) return 1;
    return std::min(5, (value - 35) / 40);
}

int squared_distance(int r, int g, int b, int r2, int g2, int b2) {
    return (r - r2) * (r - r2) + (g - g2) * (g - g2) + (b - b2) * (b - b2);
}

}  // namespace

int terminal_palette_index(std::uint32_t rgb) {
    const int r = int(rgb >> 16 & 0xff), g = int(rgb >> 8 & 0xff), b = int(rgb & 0xff);
    const int ri = nearest_level(r), gi = nearest_level(g), bi = nearest_level(b);
    const int cube = squared_distance(r, g, b, cube_levels[ri], cube_levels[gi], cube_levels[bi]);
    // The grey ramp runs 8, 18, ..., 238; the cube's own greys cover black and white
    const int mean = (r + g + b) / 3;
    const int step = std::max(0, std::min(23, (mean - 3) / 10));
    const int level = 8 + 10 * step;
    const int grey = squared_distance(r, g, b, level, level, level);
    if (grey < cube) return 232 + step;
    return 16 + 36 * ri + 6 * gi + bi;
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

void TerminalCells::layout(const CellLayout& layout, int width, int height, TerminalColors colors) {
    layout_ = layout;
    colors_ = colors;
    image_width_ = width;
    image_height_ = height;
    const int cell_rows = (layout.height + 1) / 2;
    const std::size_t cells = std::size_t(layout.width) * cell_rows;
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
    out_.resize(cells * max_cell_bytes + sizeof clear_screen);
    end_ = out_.data();
    forget();
}

void TerminalCells::forget() {
    std::fill(shown_.begin(), shown_.end(), unknown_color);
    clear_ = true;
}

std::uint32_t TerminalCells::cell_color(std::uint32_t xrgb) const {
    const std::uint32_t rgb = xrgb & 0xffffff;
    return colors_ == TerminalColors::direct ? rgb : std::uint32_t(terminal_palette_index(rgb));
}

void TerminalCells::sample(const std::uint32_t* pixels, int pitch) {
    const int cell_rows = (layout_.height + 1) / 2;
    std::uint32_t* cell = wanted_.data();
    const std::uint32_t black = cell_color(0);
    for (int row = 0; row < cell_rows; ++row) {
        const std::uint32_t* upper = pixels + std::size_t(source_y_[2 * row]) * pitch;
        const int lower_y = source_y_[2 * row + 1];
        const std::uint32_t* lower = lower_y < 0 ? nullptr : pixels + std::size_t(lower_y) * pitch;
        for (int column = 0; column < layout_.width; ++column) {
            const int x = source_x_[std::size_t(column)];
            *cell++ = cell_color(upper[x]);
            *cell++ = lower ? cell_color(lower[x]) : black;
        }
    }
}

void TerminalCells::set(int column, int row, std::uint32_t top, std::uint32_t bottom) {
    const int cell_rows = (layout_.height + 1) / 2;
    if (column < 0 || column >= layout_.width || row < 0 || row >= cell_rows) return;
    const std::size_t i = (std::size_t(row) * layout_.width + column) * 2;
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
    if (clear_) put(clear_screen, int(sizeof clear_screen - 1));
    clear_ = false;
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
