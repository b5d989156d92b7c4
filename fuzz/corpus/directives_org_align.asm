#org 10h
db 1
#align 4
@a:
db 2
#align 8
dw 3
#org 40h
@b:
dd @a,@b
