#header
#const size = 10
#const base = 100h
@runpoint:
@start:
        ld      ax, size
        ld      bx, base+4
        ld      z, cx, -1
        ld      sp, ax
        ld      dx, flags
        ld      sr1f, bx
        ld      ex, sr10
        ld      [bx], ax
        ld      byte [es:bx+2], cx
        ld      word [cx-300], dx
        ld      ax, short [es:bx]
        ld      ax, int [bx+12345678h]
        xchg    ax, bx
        xchg    ax, [bx]
        push    ax
        pop     cx
        xchg    [sp], dx
@loop:
        add     ax, bx
        sub     cx, 0
        and     ax, 7fffh
        or      ax, 8000h
        cmp     ax, [bx]
        test    [bx+4], cx
        div     px, r0
        padd    ax, bx
        div64   cx, 5
        imul64  dx, 12345h
        neg     ax
        inc2    cx
        dec1    [bx+8]
        swpsss4 bx
        cvsebd  [cx]
        jr      nz, @loop
        calr    c, o2, @far
        jmp     loopcx, @loop
        jmp     [bx+4]
        call    nz, [cx]
        call    @far
        jmp     cx
        ret     c, nz,
        int     21h
        int     10h, ax = @message
        fsin    q2
        fadd    q1, q2
        fdiv    qf, qe
        fld     q1, single [ax]
        fld     q1, double [ax+8]
        fld     extended [bx], q2
        fld     q1, ax
        fld     ax, round q1
        fld     q2, int 5
        fld     q2, long 70000
        fld     q3, single 1.5
        ret
@message:
        db      'Hello, orb!', 0, "it's", 300
        dw      258, -1
        dd      @loop, @message-@start, @endofexe
        dsingle 1.5
        ddouble 0.1
        dextended -2.5
        #align  4
@far:
        ret
@stack:
        #data   100h
@endofstack:
