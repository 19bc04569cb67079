// Fuzz target: the decoder of what a terminal sends (keys, typed text, SGR mouse reports), fed
// as the terminal back end feeds it: in reads of any length, each full one saying more may
// follow, the bytes a read leaves unused carried to the next (and dropped when longer than the
// room the back end keeps for them). The text goes through the queue of typed text, the reports
// through a cell layout to console pixels.
//
// Input: one byte of layout (the console's and the terminal's sizes), then the bytes typed; the
// lengths of the reads are taken from the bytes typed themselves, so that every input cuts
// sequences in many places. Beyond a sanitizer's report, a finding is: more events than room,
// more bytes used than given, no progress where there must be some (bytes left unused that are
// not the start of a mouse report or, after a full read, of a sequence or character), a text
// event that is not one whole valid UTF-8 character, a report with a negative cell, a key code
// beyond the table, or text out of the queue that is not the text put in.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_support.h"
#include "platform/display/backends/terminal_cells.h"
#include "platform/display/backends/terminal_input.h"

namespace {

constexpr int room = 32;   // what the back end carries from one read to the next
constexpr int chunk = 64;  // its reads
constexpr int most = 2 * (room + chunk);

// Whether bytes from `at` are an unfinished mouse report: ESC [ <, then only bytes that a
// report's parameters may hold, no final byte
bool unfinished_report(const unsigned char* bytes, int count, int at) {
    const char start[] = "\x1b[<";
    for (int i = 0; i < 3 && at + i < count; ++i) {
        if (bytes[at + i] != static_cast<unsigned char>(start[i])) return false;
    }
    for (int i = at + 3; i < count; ++i) {
        if (bytes[i] < 0x20 || bytes[i] >= 0x40) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t shape = input.byte();
    const int width = 1 + shape % 16 * 40, height = 1 + shape / 16 * 25;
    const display::CellLayout cells =
        display::fit_picture(width, height, 1 + (shape * 7) % 200, 1 + (shape * 13) % 60);
    const std::size_t length = input.remaining();
    const unsigned char* typed = data + (size - length);

    display::TextQueue queue;
    display::MouseQueue mouse;
    std::string put, got;
    unsigned char bytes[room + chunk];
    int carried = 0;
    std::size_t at = 0;
    for (bool last = false; !last;) {
        // A read of 1 to 64 bytes, its length from the next byte typed
        int count = at < length ? 1 + typed[at] % chunk : 0;
        if (std::size_t(count) > length - at) count = int(length - at);
        last = at + std::size_t(count) >= length;
        std::memcpy(bytes + carried, typed + at, std::size_t(count));
        at += std::size_t(count);
        const int total = carried + count;
        const bool more_to_come = count == chunk;
        display::TerminalEvent events[most + 1];
        int used = -1;
        const int n =
            display::decode_terminal_input(bytes, total, more_to_come, events, most, &used);
        if (n < 0 || n > most) fuzz_finding("%d events for room for %d", n, most);
        if (used < 0 || used > total) fuzz_finding("%d bytes used of %d", used, total);
        if (!more_to_come && used < total && !unfinished_report(bytes, total, used))
            fuzz_finding("%d of %d bytes left unused that are no unfinished report", total - used,
                         total);
        for (int i = 0; i < n; ++i) {
            const display::TerminalEvent& e = events[i];
            if (e.kind == display::TerminalEvent::text) {
                const auto* character = reinterpret_cast<const unsigned char*>(e.character);
                if (e.length < 1 || e.length > 4 ||
                    display::utf8_length(character, e.length) != e.length)
                    fuzz_finding("a text event of %d bytes that is no whole character", e.length);
                queue.push(e.character, e.length);
                put.append(e.character, std::size_t(e.length));
                // Read back at once, in a buffer of 2 to 8 bytes (one that is too small for
                // the next character takes 8), so that the queue never fills
                char out[8];
                int size_out = 2 + (e.character[0] + i) % 7;
                if (queue.next_length() > size_out - 1) size_out = 8;
                const int popped = queue.pop(out, size_out);
                if (popped < 1 || popped > size_out - 1 || out[popped] != '\0')
                    fuzz_finding("%d bytes read into %d", popped, size_out);
                got.append(out, std::size_t(popped));
            } else if (e.kind == display::TerminalEvent::mouse) {
                if (e.report.column < 0 || e.report.row < 0)
                    fuzz_finding("a report of cell %d, %d", e.report.column, e.report.row);
                int x = 0, y = 0;
                const bool inside = display::cell_pixel(cells, width, height, e.report.column,
                                                        e.report.row, &x, &y);
                if (inside && (x < 0 || y < 0 || x >= width || y >= height))
                    fuzz_finding("pixel %d, %d inside a console of %d x %d", x, y, width, height);
                mouse.move(x, y, inside);
                mouse.press(TRELK_MOUSE_LEFT << (e.report.code & 1));
                if (e.report.release) mouse.release_all();
            } else if (e.key_value.code < 0 || e.key_value.code > 255) {
                fuzz_finding("key code %d", e.key_value.code);
            }
        }
        const int left = total - used;
        carried = left <= room ? left : 0;
        std::memmove(bytes, bytes + used, std::size_t(carried));
    }
    char out[8];
    for (int popped; (popped = queue.pop(out, 8)) > 0;) got.append(out, std::size_t(popped));
    if (got != put) fuzz_finding("%zu bytes of text out of %zu put in", got.size(), put.size());
    return 0;
}
