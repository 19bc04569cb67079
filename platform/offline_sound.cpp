// The meeting point of offline_sound.h: one offer and one flag for the process. Built into
// both the display library and the music library; a program linking both has one of each.
#include "platform/offline_sound.h"

namespace {

const trelk_offline_sound* offered = nullptr;
bool recording = false;

}  // namespace

extern "C" {

void trelk_offline_sound_offer(const trelk_offline_sound* sound) { offered = sound; }
const trelk_offline_sound* trelk_offline_sound_offered(void) { return offered; }
void trelk_offline_sound_set_recording(int on) { recording = on != 0; }
int trelk_offline_sound_recording(void) { return recording ? 1 : 0; }

}  // extern "C"
