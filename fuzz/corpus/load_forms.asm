ld ax,bx
mov ax,bx
ld ax,5
ld z,ax,5
ld z ax,5
ld cx,5
ld sp,ax
ld ax,sp
ld sr1f,bx
ld bx,sr10
ld flags,cx
ld [bx],ax
ld [es:bx],ax
ld byte [bx+2],ax
ld word [es:cx -2 ],dx
ld ax,[bx]
ld ax,int [bx]
ld ax,short [es:bx]
ld ax,byte [bx+@q]
ld ax,word [bx]
ld ax,@q
@q:
