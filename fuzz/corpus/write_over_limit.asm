#zero 7fffffffh
db Ë
