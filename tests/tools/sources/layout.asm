        jmp     @high
        jr      @high
        #include "layout_part.inc"
        #org    40h
@low:
        add     ax, [bx+@low]
        #zero   8000h
        #align  16
@high:
        jr      @low
        call    @low
        ld      ax, @high
        #data   10
        db      1
