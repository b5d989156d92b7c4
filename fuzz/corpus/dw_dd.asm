dw 1,2,3,258
dd @x -@y +12
@x:
dd -@x
@y:
dd @endofexe
