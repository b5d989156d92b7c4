#include "dir.asm"
