dsingle 1e39
