#const  length = 12

@runpoint:
@start:
        ld      bx, @source
        ld      dx, @target
        ld      cx, length
@next:
        ld      ax, byte [bx]       ; one byte at a time
        ld      byte [dx], ax
        inc     bx
        inc     dx
        dec1    cx
        jr      nz, @next
        call    @checksum
        ret

@checksum:
        ld      ax, 0
        ld      bx, @target
        ld      cx, length
@add:
        ld      dx, byte [bx]
        add     ax, dx
        inc     bx
        dec1    cx
        jr      nz, @add
        ret

@source:
        db      'copy me, orb'
@target:
        #zero   length
