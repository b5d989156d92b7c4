#const a = 1
#const b = a+c
