db 'abc
