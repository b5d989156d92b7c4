db 'abc',0
db "don't"
db 'it''s'
db ''
db 'a b',"x",1+2
