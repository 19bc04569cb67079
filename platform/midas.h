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

/// @name Steering the music
/// Our own extras beside the entries above, for a program that steers its music: each
/// returns 1 on success, or 0 (null for the title) having changed nothing, and
/// MIDASerrorText() says why. They need the library started (MIDASstartup); the ones about
/// "the music" need a module chosen by MIDASplayModule. A recording (TRELK_RECORD) follows
/// them: its sound is the mixer's, jumps, pauses and volume included.
/// @{

/// Sets the music's volume, 0 (silent) to 100 (as the module mixes itself, the default).
/// Kept for every module played from now on, until MIDASclose. 0 for a volume out of range.
int MIDASsetVolume(int volume);
/// Holds the music where it is: silence, its position kept, until MIDASresume. Harmless when
/// already paused; 0 when no module is chosen.
int MIDASpause(void);
/// Lets held music play on from where it was held; harmless when not paused. 0 when no module
/// is chosen.
int MIDASresume(void);
/// Where the music is: the order (0 for the first entry of the module's order list), the row
/// of that order's pattern, and the seconds of the song played to reach it, as far as the
/// mixer has mixed. Any pointer may be null. 0 when no module is chosen.
int MIDASgetPosition(int* order, int* row, double* seconds);
/// Jumps to the start of an order (0 to the length in orders less 1): the music goes on from
/// its first row, a paused one stays paused there, and a module played once that had ended
/// plays again from there. 0 for an order out of range, or no module chosen.
int MIDASsetPosition(int order);
/// The module's title as its file names it ("" when it has none); null for a null or unknown
/// module. Valid until the module is freed by MIDASclose.
const char* MIDASgetTitle(MIDASmodule module);
/// The module's length: the entries of its order list, and the seconds one pass through it
/// lasts (0 where the player cannot tell yet: in the browser, until its player has the module).
/// Any pointer may be null. 0 for a null or unknown module.
int MIDASgetLength(MIDASmodule module, int* orders, double* seconds);

/// @}

#ifdef __cplusplus
}  // extern "C"
#endif

#endif
