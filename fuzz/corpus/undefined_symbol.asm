ld ax,@nowhere
jmp undefined_constant
