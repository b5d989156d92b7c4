#header
@runpoint:
@start:
ld ax,@endofexe
ret
@stack:
#data 256
@endofstack:
