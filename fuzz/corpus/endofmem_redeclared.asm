#header
@endofmem:
