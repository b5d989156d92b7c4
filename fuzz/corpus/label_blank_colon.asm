@ :
ld ax,@ 
