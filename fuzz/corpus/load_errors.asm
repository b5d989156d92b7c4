ld short [bx],ax
