jmp nz,bx
call ax
calr z,cx
jmp c,cx
jmp c,nz,@t
jmp loopcx,@t
call [bx]
call [bx+8]
jmp z,[cx -4 ]
jmp 0
jr bx
@t:
ret
ret nz,
ret c,nz,
int 21h
int 10h,ax=5
int 0ffh,ax=@t
