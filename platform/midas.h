// The music library's entries that the demo calls, in the order it calls them: startup, init,
// start background play, load a module, (start background play again), play it, and at the
// end stop background play and close. Our library plays XM modules (and the other formats
// libxmp reads) on SDL2 audio; with no audio device it stays silent and still answers every
// call. A call out of order (init before startup, play before init) returns 0 or null and
// changes nothing; MIDASerrorText() tells why. Whatever is left open when the process exits
// is closed by the library itself.
#ifndef PLATFORM_MIDAS_H
#define PLATFORM_MIDAS_H

typedef struct midas_module* MIDASmodule;  // a loaded module; null when loading failed
typedef unsigned MIDASmodulePlayHandle;    // a playing module; 0 when nothing plays

extern "C" {

int MIDASstartup(void);  // readies the library (a second call changes nothing); 1 on success
int MIDASinit(void);     // opens audio output (silence when there is none); 1 on success
// Starts the background mixer. The rate is accepted and not used: the audio device paces the
// mixer. A second call is harmless. 1 on success
int MIDASstartBackgroundPlay(unsigned rate);
// Loads a module file; null for a file that is missing, empty, cut short or not a module
MIDASmodule MIDASloadModule(const char* file_name);
// Plays a loaded module from its start, looping when loop_song is 1, in place of any module
// playing before; does nothing for a null or unknown module (0)
MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song);
int MIDASstopBackgroundPlay(void);  // stops the music and the mixer; harmless twice. 1
int MIDASclose(void);  // stops everything, frees every module and the audio; harmless twice. 1
const char* MIDASerrorText(void);  // why the last call failed or went silent; "" if neither

}  // extern "C"

#endif
