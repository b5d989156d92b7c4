#org @x
