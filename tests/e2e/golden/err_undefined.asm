db 1
dd @x,@y
@y:
