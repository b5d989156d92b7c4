#data -1
