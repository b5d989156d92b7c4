#include inc.asm
