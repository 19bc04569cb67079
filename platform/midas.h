/// @file
/// The music library's entries (installed as trelk/midas.h, CMake target trelk::midas,
/// pkg-config trelk-midas), in the order a program calls them: startup, init, start
/// background play, load a module, play it, and at the end stop background play and close.
/// The music plays in the background by itself. Our library plays XM modules (and the other
/// formats libxmp reads: MOD, S3M, IT) on SDL2 audio; with no audio device it stays silent and
/// still answers every call. A call out of order (init before startup, play before init)
/// returns 0 or null and changes nothing; MIDASerrorText() tells why. Whatever is left open
/// when the process exits is closed by the library itself. Valid C and C++; no call throws.
#ifndef PLATFORM_MIDAS_H
#define PLATFORM_MIDAS_H

/// A loaded module; null when loading failed
typedef struct midas_module* MIDASmodule;
/// A playing module; 0 when nothing plays
typedef unsigned MIDASmodulePlayHandle;

#ifdef __cplusplus
extern "C" {
#endif

/// Readies the library (a second call changes nothing); 1 on success
int MIDASstartup(void);
/// Opens audio output (silence when there is none); 1 on success
int MIDASinit(void);
/// Starts the background mixer. The rate is accepted and not used: the audio device paces the
/// mixer. A second call is harmless. 1 on success
int MIDASstartBackgroundPlay(unsigned rate);
/// Loads a module file; null for a file that is missing, empty, cut short or not a module
MIDASmodule MIDASloadModule(const char* file_name);
/// Plays a loaded module from its start, looping when loop_song is 1, in place of any module
/// playing before; does nothing for a null or unknown module (0)
MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song);
/// Stops the music and the mixer; harmless twice. 1
int MIDASstopBackgroundPlay(void);
/// Stops everything, frees every module and the audio; harmless twice. 1
int MIDASclose(void);
/// Why the last call failed or went silent; "" if neither
const char* MIDASerrorText(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif
