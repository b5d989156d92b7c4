dsingle 1.5
dsingle -0
dsingle 1e3
dsingle 3.4028235e38
dsingle .5
dsingle 5.
