db 0
#include "inc.asm"
db inc_value
