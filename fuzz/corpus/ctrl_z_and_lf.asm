db 1
db 2db 3
