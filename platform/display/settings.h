// The display library's settings (the rows of settings_table.h), each read from the environment
// and refused, with the values it accepts, when it holds anything else. Empty counts as unset,
// except for TRELK_FRAMES, where it is refused: taken as unset it would mean an endless run
// where a limited one was asked for.
#ifndef PLATFORM_DISPLAY_SETTINGS_H
#define PLATFORM_DISPLAY_SETTINGS_H

namespace display {

enum class Setting {
#define TRELK_SETTING(id, name, kind, accepted, fallback, help) id,
#include "platform/display/settings_table.h"
#undef TRELK_SETTING
};

// A choice: the place of its value among the accepted ones (0 for the first), the default's
// when unset; -1 when unset without a default. A backend setting: the back end's place in the
// list of backend.h, -1 when unset.
int setting_choice(Setting setting);
// A count: the number; -1 when unset
long long setting_count(Setting setting);
// A file: the value; null when unset
const char* setting_text(Setting setting);
// Reads every setting, so that a wrong value is refused whichever back end opens. The first
// time, also warns on standard error about each variable named TRELK_... that is no setting,
// naming the nearest one (a misspelt setting would otherwise do nothing).
void check_settings();

}  // namespace display

#endif
