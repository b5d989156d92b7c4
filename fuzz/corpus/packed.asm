padd ax,bx
padds cx,dx
psub ex,fx
psubs gx,hx
piadds ix,jx
psapadd kx,lx
pisubs mx,nx
psrpadd ox,px
imul64 r0,r15
mul64 ra,rb
div64 rc,rd
padd ax,5
div64 cx,@z
@z:
