jmp c,nz,o,@x
