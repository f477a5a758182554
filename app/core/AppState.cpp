#include "AppState.h"

TRunFlags RunFlags;
TAudioInParams AudioInParams;
TMyAudio MyAudio;
TMyMidi MyMidi;
TMySound Sounds[2];
