fld q3,q4
