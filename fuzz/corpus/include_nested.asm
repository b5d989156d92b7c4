#include 'inc2.asm'
#include "data.asm"
#include "empty.asm"
ret
