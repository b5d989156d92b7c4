#const x
