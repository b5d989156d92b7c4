#zero 3000
db 0ffh
#data 100
@mark:
#zero 4
dd @mark
#data 20
