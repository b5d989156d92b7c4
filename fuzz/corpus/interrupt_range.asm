int 100h
