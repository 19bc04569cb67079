// Reading the settings of settings_table.h. A value that a setting does not take is an error
// that names the setting, the value and what it takes; nothing is guessed.
#include "platform/display/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/display/backends.h"
#include "platform/display/registry.h"
#include "platform/os/environment.h"

namespace display {
namespace {

enum class Accepts { choice, backend, count, file };

struct Row {
    const char* name;
    Accepts kind;
    const char* accepted;  // a choice's values, separated by |
    const char* fallback;  // taken when unset; "" for none
};

const Row rows[] = {
#define TRELK_SETTING(id, name, kind, accepted, fallback, help) \
    {name, Accepts::kind, accepted, fallback},
#include "platform/display/settings_table.h"
#undef TRELK_SETTING
};

#define TRELK_SETTINGS_BACKEND_NAME(name) #name,
const char* const backend_names[] = {TRELK_DISPLAY_BACKENDS(TRELK_SETTINGS_BACKEND_NAME)};
#undef TRELK_SETTINGS_BACKEND_NAME
constexpr int backend_count = int(sizeof backend_names / sizeof backend_names[0]);

const Row& row(Setting setting) { return rows[int(setting)]; }

const char* value_of(const Row& r) {
    const char* value = std::getenv(r.name);
    return value && *value ? value : nullptr;
}

// The place of value among the |-separated choices; -1 when it is none of them
int place_in(const char* choices, const char* value) {
    const std::size_t length = std::strlen(value);
    int place = 0;
    for (const char* c = choices;; ++place) {
        const char* end = std::strchr(c, '|');
        const std::size_t n = end ? std::size_t(end - c) : std::strlen(c);
        if (n == length && std::strncmp(c, value, n) == 0) return place;
        if (!end) return -1;
        c = end + 1;
    }
}

int choice_of(const Row& r) {
    const char* value = value_of(r);
    if (r.kind == Accepts::backend) {
        if (!value) return -1;
        for (int i = 0; i < backend_count; ++i) {
            if (std::strcmp(backend_names[i], value) == 0) return i;
        }
        std::string known;
        for (int i = 0; i < backend_count; ++i)
            known += std::string(i ? ", " : "") + backend_names[i];
        fail("%s=%s: no such display; use one of: %s", r.name, value, known.c_str());
    }
    if (!value) return *r.fallback ? place_in(r.accepted, r.fallback) : -1;
    const int place = place_in(r.accepted, value);
    if (place < 0) {
        std::string known(r.accepted);
        for (std::size_t bar = known.find('|'); bar != std::string::npos; bar = known.find('|'))
            known.replace(bar, 1, ", ");
        fail("%s=%s: not a value it takes; use one of: %s", r.name, value, known.c_str());
    }
    return place;
}

long long count_of(const Row& r) {
    const char* value = std::getenv(r.name);
    if (!value) return -1;
    // Empty counts as unset, but for the number of frames: taken as unset, an empty one would
    // mean an endless run where a limited one was asked for
    if (!*value) {
        if (&r != &row(Setting::frames)) return -1;
        fail("%s is set but empty: give a number or unset it", r.name);
    }
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(value, &end, 10);
    // Digits only: strtoll would pass over leading white space of any kind and a sign
    if (*end || n < 0 || errno || !std::isdigit(static_cast<unsigned char>(value[0])))
        fail("%s=%s: not a number; use a whole number of 0 or more", r.name, value);
    return n;
}

// Variables named like settings that the project's own scripts and tests read, not the library
// (a user who exports TRELK_WINDOWS_SOURCES for windows.sh and then runs a program is no typist)
const char* const not_settings[] = {"TRELK_JOBS", "TRELK_FUZZ_SECONDS", "TRELK_UPDATE_REFERENCE",
                                    "TRELK_WINDOWS_SOURCES", "TRELK_WINDOWS_OUT"};

// The number of single-character edits (insertions, deletions, changes, swaps of neighbours)
// from one name to the other
std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// One line for each variable named TRELK_... that is no setting, naming the nearest setting:
// a misspelt one would otherwise be passed over in silence (TRELK_FRAME=300, an endless run)
void warn_about_unknown_names() {
    static const std::string prefix = "TRELK_";
    for (char** entry = os::environment(); *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals) continue;
        const std::string name(*entry, std::size_t(equals - *entry));
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        bool known = false;
        for (const Row& r : rows) known = known || name == r.name;
        for (const char* other : not_settings) known = known || name == other;
        if (known) continue;
        const Row* nearest = &rows[0];
        for (const Row& r : rows) {
            if (distance(name, r.name) < distance(name, nearest->name)) nearest = &r;
        }
        std::fprintf(stderr, "%s is not a setting; did you mean %s?\n", name.c_str(),
                     nearest->name);
    }
}

}  // namespace

int setting_choice(Setting setting) { return choice_of(row(setting)); }
long long setting_count(Setting setting) { return count_of(row(setting)); }
const char* setting_text(Setting setting) { return value_of(row(setting)); }

void check_settings() {
    static bool warned = false;  // once: a program may open its console many times
    if (!warned) {
        warned = true;
        warn_about_unknown_names();
    }
    for (const Row& r : rows) {
        if (r.kind == Accepts::count)
            count_of(r);
        else if (r.kind != Accepts::file)
            choice_of(r);
    }
}

}  // namespace display
