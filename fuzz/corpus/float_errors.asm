dsingle 1.5,2.5
