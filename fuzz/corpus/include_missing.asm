#include "missing.asm"
