// The console's pixels as character cells of a terminal: where the picture goes (scaled to fit,
// aspect kept, centred), what colour each cell should have, and the bytes that bring the
// terminal from what was written last to that. One cell shows two pixels, one above the other,
// as an upper half block: foreground the top pixel, background the bottom one. Pure code over
// memory: no terminal, no signals; every buffer is sized by layout() so that encoding a frame
// allocates nothing.
#ifndef PLATFORM_DISPLAY_TERMINAL_CELLS_H
#define PLATFORM_DISPLAY_TERMINAL_CELLS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace display {

constexpr int max_terminal_side = 1000;  // larger terminals are drawn in this many cells

enum class TerminalColors {
    direct,   // 24-bit colour: ESC [ 38 ; 2 ; r ; g ; b m
    indexed,  // the 256-colour palette: ESC [ 38 ; 5 ; n m
};

// The entry of the 256-colour palette nearest to an 0xRRGGBB colour, from its 6x6x6 colour cube
// (16 to 231) and its grey ramp (232 to 255); the first 16 are left out: terminals differ there
int terminal_palette_index(std::uint32_t rgb);

// Where a picture of width x height pixels goes in a terminal of columns x rows cells: the
// largest size with the picture's aspect whose pixels are one cell wide and half a cell tall,
// centred. The picture then fills width cells by (height + 1) / 2 rows.
struct CellLayout {
    int columns = 0, rows = 0;  // the terminal, at most max_terminal_side each
    int left = 0, top = 0;      // the picture's first cell, counted from 0
    int width = 0, height = 0;  // the scaled picture in pixels; 0 when nothing fits
};
CellLayout fit_picture(int width, int height, int columns, int rows);

// The console pixel that a cell (column and row from 0) stands for: the one under the cell's
// centre, as the picture is laid out for a console of width x height pixels. Cells beyond the
// picture give the pixel they would show, outside the console. Whether it is in the picture.
bool cell_pixel(const CellLayout& layout, int width, int height, int column, int row, int* x,
                int* y);

class TerminalCells {
public:
    // Prepares for a picture of width x height pixels in this layout (allocating), and forgets
    // what the terminal shows: the next encode() clears the screen and writes every cell
    void layout(const CellLayout& layout, int width, int height, TerminalColors colors);
    const CellLayout& current() const { return layout_; }

    // The terminal's contents are unknown again (it was cleared, or a write was cut short)
    void forget();
    // The same without clearing the screen, for mending what other output may have drawn over
    // it: the next encode() erases the terminal around the picture (in the default colours)
    // and writes every cell, so nothing blanks for a moment
    void repaint();

    // What the cells should show: the picture's pixels as 0x..RRGGBB words (the top byte is
    // ignored), rows pitch words apart, sampled at the centres of the scaled pixels
    void sample(const std::uint32_t* pixels, int pitch);
    // One cell's colours, in the form the terminal is given them: 0xRRGGBB for direct colour,
    // a palette index for indexed
    void set(int column, int row, std::uint32_t top, std::uint32_t bottom);

    // Puts into buffer() the bytes that make the terminal show the wanted cells, and counts
    // them as shown; returns how many (0 when nothing changed)
    std::size_t encode();
    const char* buffer() const { return out_.data(); }

private:
    std::uint32_t cell_color(std::uint32_t xrgb) const;
    void move_to(int column, int row);
    void set_colors(std::uint32_t foreground, std::uint32_t background);
    void put(const char* text, int length);
    void put_number(unsigned value);
    void put_color(int ground, std::uint32_t color);
    void erase_margins();

    CellLayout layout_;
    TerminalColors colors_ = TerminalColors::direct;
    int image_width_ = 0, image_height_ = 0;
    std::vector<int> source_x_, source_y_;  // the pixel each scaled column and row samples
    // Two words per cell, top then bottom: what should be shown, and what was written
    std::vector<std::uint32_t> wanted_, shown_;
    bool clear_ = true;     // the next encode() starts by clearing the screen
    bool margins_ = false;  // the next encode() starts by erasing around the picture
    std::vector<char> out_;
    char* end_ = nullptr;  // the end of what encode() has put so far
    // The terminal's cursor and colours while encoding; -1 and unknown_color: not known
    int cursor_column_ = -1, cursor_row_ = -1;
    std::uint32_t foreground_ = 0, background_ = 0;
};

}  // namespace display

#endif
