// program.cpp — torvex32: the benchmark in its window; main() comes from the entry library.
