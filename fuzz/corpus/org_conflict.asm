db 1,2,3
#org 1
