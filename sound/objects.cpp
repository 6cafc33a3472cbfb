// objects.cpp — the program's two sound players, in a file of their own so that only programs
// that use them link them. Music is defined first: it is destroyed last, after the effect.
#include "sound/sound.h"

QVMIDI Music;
QVWAVE Effect;
