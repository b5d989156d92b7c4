#header
#const count = 10

@runpoint:
@start:
        ld      ax, 0
        ld      cx, count
@loop:
        add     ax, cx
        dec1    cx              ; one step down
        jr      nz, @loop
        ld      [bx+8], ax
        int     21h, ax = @message
        ret                     ; back to the caller

@message:
        db      'Hello, orb!', 0
        #align  4
@table:
        dd      @loop, @message, @endofexe
        dsingle 1.5

@stack:
        #data   256
@endofstack:
