db 12,0ffh,17o,101b,0b,1bh,12b,101bh
dw 7fffh,-8000h,0ffffh
dd 7fffffffh,0ffffffffh,80000000h
dd 12ho,19o,1f,10H,0x10,1.5
