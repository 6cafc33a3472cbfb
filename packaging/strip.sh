#!/bin/sh
# The strip the package build uses (CMAKE_STRIP): as Debian's own package builds strip programs,
# also dropping the compilers' .comment and .note sections, which nothing reads at run time.
exec strip --remove-section=.comment --remove-section=.note "$@"
