db x'a',1
