#align 0
