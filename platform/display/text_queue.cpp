// Typed text waiting to be read (backend.h): a ring of bytes that holds whole UTF-8 characters.
#include "platform/display/backend.h"

namespace display {

int utf8_length(const unsigned char* text, int length) {
    if (length <= 0) return 0;
    const unsigned char first = text[0];
    if (first < 0x80) return 1;
    int n = 0;
    unsigned low = 0x80, high = 0xbf;  // the range of the second byte
    if (first >= 0xc2 && first <= 0xdf) {
        n = 2;
    } else if (first >= 0xe0 && first <= 0xef) {
        n = 3;
        if (first == 0xe0) low = 0xa0;   // overlong
        if (first == 0xed) high = 0x9f;  // surrogates
    } else if (first >= 0xf0 && first <= 0xf4) {
        n = 4;
        if (first == 0xf0) low = 0x90;   // overlong
        if (first == 0xf4) high = 0x8f;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (length < n || text[1] < low || text[1] > high) return 0;
    for (int i = 2; i < n; ++i) {
        if ((text[i] & 0xc0) != 0x80) return 0;
    }
    return n;
}

void TextQueue::push(const char* text, int length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0; i < length;) {
        const int n = utf8_length(bytes + i, length - i);
        if (n == 0) {
            ++i;
            continue;
        }
        if (count_ + n <= capacity) {
            for (int k = 0; k < n; ++k) bytes_[(head_ + count_ + k) % capacity] = text[i + k];
            count_ += n;
        }
        i += n;
    }
}

namespace {
// The length of a kept character from its first byte (only whole, valid ones are kept)
int kept_length(char first_byte) {
    const auto first = static_cast<unsigned char>(first_byte);
    return first < 0x80 ? 1 : first < 0xe0 ? 2 : first < 0xf0 ? 3 : 4;
}
}  // namespace

int TextQueue::next_length() const { return count_ > 0 ? kept_length(bytes_[head_]) : 0; }

int TextQueue::pop(char* text, int size) {
    int given = 0;
    while (given < count_) {
        const int n = kept_length(bytes_[(head_ + given) % capacity]);
        if (given + n > size - 1) break;
        for (int k = 0; k < n; ++k) text[given + k] = bytes_[(head_ + given + k) % capacity];
        given += n;
    }
    head_ = (head_ + given) % capacity;
    count_ -= given;
    if (size > 0) text[given] = '\0';
    return given;
}

}  // namespace display
