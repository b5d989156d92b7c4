jmp @far
#zero 40000
@far:
jr @back
@back:
add ax,[bx+0]
add ax,0
ld ax,[bx+@far]
