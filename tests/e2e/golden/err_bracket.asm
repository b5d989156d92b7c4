db 1
@here:
jr nz,@there
ld ax,[bx+4
