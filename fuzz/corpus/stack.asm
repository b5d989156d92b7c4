push ax
pop cx
xchg [sp],dx
push r15
pop ra
