// The music library's entries that the demo calls, in the order it calls them: startup, init,
// start background play, load a module, (start background play again), play it, and at the
// end stop background play and close. Our library plays XM modules on SDL2 audio; with no
// audio device it stays silent and still answers every call.
#ifndef PLATFORM_MIDAS_H
#define PLATFORM_MIDAS_H

typedef struct midas_module* MIDASmodule;  // a loaded module; null when loading failed
typedef unsigned MIDASmodulePlayHandle;    // a playing module; 0 when nothing plays

extern "C" {

int MIDASstartup(void);  // resets the library to its starting state; 1 on success
int MIDASinit(void);     // opens audio output (silence when there is none); 1 on success
// Starts the background mixer; rate 0 means the library's default rate. A second call is
// harmless. 1 on success
int MIDASstartBackgroundPlay(unsigned rate);
// Loads a module file; null for a file that is missing, empty or not a module
MIDASmodule MIDASloadModule(const char* file_name);
// Plays a loaded module, looping when loop_song is 1; does nothing for a null module (0)
MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song);
int MIDASstopBackgroundPlay(void);  // stops the mixer; harmless twice. 1 on success
int MIDASclose(void);               // stops everything and frees every module; harmless twice

}  // extern "C"

#endif
