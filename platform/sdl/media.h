// media.h — inside the SDL backend's media device: the MIDI reader that tells how long a tune
// lasts, and the opening of the files the device reads. The device needs the first because the
// synthesiser reports a tune's end seconds after its last note, too late for a loop without a
// gap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opens a file for reading only if it is a regular file, without waiting on a pipe or device:
// null otherwise (files.cpp).
FILE* OpenRegularFile(const char* path);

// Checks a Standard MIDI File and measures it: *seconds receives the time from its start to
// its last event (the end of its longest track) through its tempo map. False when the data is
// not a complete, well-formed MIDI file (truncated chunks or events, bad status bytes).
bool MeasureMidiSequence(const uint8_t* data, size_t size, double* seconds);
