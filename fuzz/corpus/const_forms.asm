#const size = 10
#const base=100h
#const neg = -5
#const sum = size +base -neg
ld ax,sum
db size,base,neg
dw base -1 ,2
