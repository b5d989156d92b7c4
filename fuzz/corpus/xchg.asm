xchg ax,bx
xchg bx,ax
xchg ax,[bx]
xchg ax,[sp]
