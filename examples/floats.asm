#const  count = 4

@runpoint:
@start:
        ld      bx, @values
        ld      cx, count
        fld     q0, double [bx-8]   ; the zero before the values
@sum:
        fld     q1, double [bx]
        fadd    q0, q1
        add     bx, 8
        dec1    cx
        jr      nz, @sum
        fsqrt   q0
        fld     double [bx], q0     ; just past the values
        ret

        #align  8
        ddouble 0.0
@values:
        ddouble 1.5
        ddouble 2.25
        ddouble 3.0
        ddouble 9.25
@result:
        ddouble 0.0
