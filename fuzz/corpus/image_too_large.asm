#zero 7fffffffh
db 1
