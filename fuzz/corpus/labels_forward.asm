jmp @later
call @later
jr @later
calr @later
@later:
ret
jmp nz,@later
