fld q1,ax
fld ax,round q1
fld q1,single [ax]
fld q1,double [ax+8]
fld q2,extended [bx]
fld single [bx],q2
fld double [bx+4],q3
fld extended [bx],q2
fld q2,int 5
fld q2,long 12345678h
fld q3,single 1.5
fld q3,single -1.5
fld q3,single 1.5e3
