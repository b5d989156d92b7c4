db 1
#include "input.asm"

